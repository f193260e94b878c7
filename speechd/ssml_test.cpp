#include "speechd/ssml.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zelvan_tts::speechd {
namespace {

// Items as one line: T"text", with [rate,pitch,volume] when not 1, C"text"
// for characters, M(name), B(ms).
std::string render(const std::vector<SpeechItem>& items) {
    std::ostringstream out;
    for (const SpeechItem& i : items) {
        switch (i.kind) {
            case SpeechItem::Kind::Text:
                out << (i.characters ? "C" : "T");
                if (i.prosody.rate != 1 || i.prosody.pitch != 1 || i.prosody.volume != 1)
                    out << "[" << i.prosody.rate << "," << i.prosody.pitch << ","
                        << i.prosody.volume << "]";
                out << '"' << i.text << '"';
                break;
            case SpeechItem::Kind::Mark: out << "M(" << i.text << ")"; break;
            case SpeechItem::Kind::Break: out << "B(" << i.break_ms << ")"; break;
            case SpeechItem::Kind::Tone: out << "Tone"; break;
        }
        out << ' ';
    }
    return out.str();
}

TEST(Ssml, ReadsWhatAScreenReaderSends) {
    const struct {
        const char* ssml;
        const char* items;
    } kCases[] = {
        {"<speak>Привет, мир!</speak>", "T\"Привет, мир!\" "},
        {"<speak>Один.<mark name=\"__spd_0\"/> Два.</speak>",
         "T\"Один.\" M(__spd_0) T\" Два.\" "},
        {"<speak>a<break time=\"250ms\"/>b<break time=\"1.5s\"/>c<break strength=\"weak\"/>d"
         "<break/>e</speak>",
         "T\"a\" B(250) T\"b\" B(1500) T\"c\" B(250) T\"d\" B(500) T\"e\" "},
        {"<speak>a<break time=\"999999s\"/></speak>", "T\"a\" B(60000) "},
        {"<speak><prosody rate=\"200%\" pitch=\"+10%\" volume=\"-6dB\">x</prosody>y</speak>",
         "T[2,1.1,0.501187]\"x\" T\"y\" "},
        {"<speak><prosody rate=\"fast\"><prosody rate=\"fast\">x</prosody></prosody></speak>",
         "T[2.25,1,1]\"x\" "},
        {"<speak>Код <say-as interpret-as=\"characters\">Ab1</say-as>.</speak>",
         "T\"Код \" C\"Ab1\" T\".\" "},
        {"<speak><say-as interpret-as=\"date\">1.2.2024</say-as></speak>", "T\"1.2.2024\" "},
        {"<speak><sub alias=\"Всемирная организация\">ВОЗ</sub></speak>",
         "T\"Всемирная организация\" "},
        // Anything else is read as its text content, never as markup.
        {"<speak><emphasis>очень</emphasis> <voice name=\"x\">важно</voice> <audio "
         "src=\"a.wav\">звук</audio></speak>",
         "T\"очень важно звук\" "},
        {"<speak><p><s>Раз</s><s>два</s></p></speak>", "T\"  Раз  два  \" "},
        {"<speak>a &lt; b &amp; c<!-- note --><![CDATA[ <d> ]]></speak>", "T\"a < b & c <d> \" "},
        {"<?xml version=\"1.0\"?><speak xmlns=\"http://www.w3.org/2001/10/synthesis\">x</speak>",
         "T\"x\" "},
        {"<speak> <mark name=\"m\"/> </speak>", "M(m) "},
        {"<speak></speak>", ""},
        // Not well-formed: the message is plain text, nothing dropped.
        {"<speak>bad <b>unclosed</speak>", "T\"bad <b>unclosed\" "},
        {"<speak>1 < 2 & 3</speak>", "T\"1 < 2 & 3\" "},
        {"Просто текст", "T\"Просто текст\" "},
        {"<speak>&undefined;</speak>", "T\"&undefined;\" "},
        {"<!DOCTYPE speak [<!ENTITY e \"x\">]><speak>&e;</speak>",
         "T\"<!DOCTYPE speak [<!ENTITY e \"x\">]><speak>&e;</speak>\" "},
        // Bytes XML cannot hold do not cost the markup.
        {"<speak>a\x01\xff<mark name=\"m\"/>b</speak>", "T\"a \xEF\xBF\xBD\" M(m) T\"b\" "},
    };
    for (const auto& c : kCases) EXPECT_EQ(render(parse_ssml(c.ssml)), c.items) << c.ssml;
}

TEST(Ssml, ProsodyValuesAndBreaks) {
    EXPECT_FLOAT_EQ(prosody_rate("x-slow"), 0.5f);
    EXPECT_FLOAT_EQ(prosody_rate("+50%"), 1.5f);
    EXPECT_FLOAT_EQ(prosody_rate("0.8"), 0.8f);
    EXPECT_FLOAT_EQ(prosody_rate("1000"), 5.0f);
    EXPECT_FLOAT_EQ(prosody_rate("nonsense"), 1.0f);
    EXPECT_FLOAT_EQ(prosody_pitch("+12st"), 2.0f);
    EXPECT_FLOAT_EQ(prosody_pitch("high"), 1.15f);
    EXPECT_FLOAT_EQ(prosody_pitch("200Hz"), 1.0f);
    EXPECT_FLOAT_EQ(prosody_volume("silent"), 0.0f);
    EXPECT_FLOAT_EQ(prosody_volume("50"), 0.5f);
    EXPECT_FLOAT_EQ(prosody_volume("+20dB"), 4.0f);
    EXPECT_EQ(break_duration("-5s", "strong"), 1000);
    EXPECT_EQ(break_duration("", "none"), 0);
    EXPECT_EQ(break_duration("nan", ""), 500);
}

}  // namespace
}  // namespace zelvan_tts::speechd
