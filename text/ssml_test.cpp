#include "text/ssml.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zelvan_tts {
namespace {

// Items as one line: T"text", with @voice when the document chose one and
// [rate,pitch,volume] when not 1, C"text" for characters, M(name), B(ms).
std::string render(const std::vector<SpeechItem>& items) {
    std::ostringstream out;
    for (const SpeechItem& i : items) {
        switch (i.kind) {
            case SpeechItem::Kind::Text:
                out << (i.characters ? "C" : "T");
                if (i.voice >= 0) out << "@" << i.voice;
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
        {"<speak><say-as interpret-as=\"date\">1.2.2024</say-as></speak>",
         "T\"первое февраля две тысячи двадцать четвёртого года\" "},
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
        // Not well-formed: the message's text without its markup.
        {"<speak>bad <b>unclosed</speak>", "T\"bad unclosed\" "},
        {"<speak>Текст <mark name=\"x\">без конца", "T\"Текст без конца\" "},
        {"<speak>a &amp; b <mark name=x/>c</speak>", "T\"a & b c\" "},
        {"<speak>1 < 2 & 3</speak>", "T\"1 < 2 & 3\" "},
        {"Просто текст", "T\"Просто текст\" "},
        {"<speak>&undefined;</speak>", "T\"&undefined;\" "},
        // Bytes XML cannot hold do not cost the markup.
        {"<speak>a\x01\xff<mark name=\"m\"/>b</speak>", "T\"a \xEF\xBF\xBD\" M(m) T\"b\" "},
    };
    for (const auto& c : kCases) EXPECT_EQ(render(parse_ssml(c.ssml)), c.items) << c.ssml;
}

// Numbers, dates, times and telephone numbers in words for a Russian voice,
// as numbers apart for the others; and the voice each run is read with,
// for a document spoken with no voice known (-1) or with ru_alsu (21).
TEST(Ssml, SayAsAndVoices) {
    const struct {
        const char* ssml;
        const char* items;
        int voice;
    } kCases[] = {
        {"<speak><say-as interpret-as=\"cardinal\">1 234</say-as></speak>",
         "T\"тысяча двести тридцать четыре\" ", -1},
        {"<speak><say-as interpret-as=\"number\">-21</say-as> <say-as "
         "interpret-as=\"ordinal\">3-я</say-as></speak>",
         "T\"минус двадцать один третья\" ", -1},
        {"<speak><say-as interpret-as=\"date\">12.04.1961</say-as></speak>",
         "T@21\"двенадцатое апреля тысяча девятьсот шестьдесят первого года\" ", 21},
        {"<speak><say-as interpret-as=\"date\" format=\"ymd\">2024-02-01</say-as>, <say-as "
         "interpret-as=\"date\" format=\"my\">04/1961</say-as></speak>",
         "T\"первое февраля две тысячи двадцать четвёртого года, апрель тысяча девятьсот "
         "шестьдесят первого года\" ",
         -1},
        {"<speak><say-as interpret-as=\"time\">9:05</say-as>; <say-as "
         "interpret-as=\"time\">21:00</say-as>; <say-as interpret-as=\"time\" "
         "format=\"hms24\">1:02:03</say-as></speak>",
         "T\"девять часов пять минут; двадцать один час; один час две минуты три секунды\" ",
         -1},
        {"<speak><say-as interpret-as=\"telephone\">+7 (800) 555-35-35</say-as> <say-as "
         "interpret-as=\"telephone\">0495</say-as></speak>",
         "T\"плюс семь, восемьсот, пятьсот пятьдесят пять, тридцать пять, тридцать пять ноль "
         "четыре, девяносто пять\" ",
         -1},
        // Other languages: the number step of the voice reads the digits.
        {"<speak xml:lang=\"kk\"><say-as interpret-as=\"date\">12.04.1961</say-as> <say-as "
         "interpret-as=\"telephone\">+7 800 5553535</say-as></speak>",
         "T@13\"12 4 1961 7, 800, 555, 35, 35\" ", -1},
        // Not written as the element says, or an interpretation not known.
        {"<speak><say-as interpret-as=\"date\">вчера</say-as> <say-as "
         "interpret-as=\"cardinal\">3,14</say-as> <say-as "
         "interpret-as=\"fraction\">1/2</say-as> <say-as interpret-as=\"time\">25:00</say-as>"
         "</speak>",
         "T\"вчера 3,14 1/2 25:00\" ", -1},
        {"<speak>a<voice name=\"ru_alsu\">b</voice><voice name=\"5\">c</voice>d</speak>",
         "T\"a\" T@21\"b\" T@5\"c\" T\"d\" ", -1},
        {"<speak><voice gender=\"female\">a</voice><voice name=\"Alsu\" "
         "xml:lang=\"tt\">b</voice><voice name=\"nobody Rustem\">c</voice></speak>",
         "T@21\"a\" T@50\"b\" T@34\"c\" ", -1},
        // Switches from ru_alsu: the Tatar twin, a man of her language, and
        // what no voice has keeps her.
        {"<speak>a<lang xml:lang=\"tt-RU\">b</lang><voice gender=\"male\">c</voice>"
         "<voice name=\"nobody\" gender=\"child\">d</voice><s xml:lang=\"en\">e</s>"
         "<p xml:lang=\"rus\">f</p></speak>",
         "T@21\"a\" T@50\"b\" T@20\"c\" T@21\"d e  f \" ", 21},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(render(parse_ssml(c.ssml, c.voice)), c.items) << c.ssml;

    // What is said for a <say-as> comes from the whole element.
    const std::string doc = "<speak>в <say-as interpret-as=\"cardinal\">5</say-as></speak>";
    const SpokenText spoken = spoken_text(parse_ssml(doc));
    ASSERT_EQ(spoken.text, "в пять");
    const ByteSpan five = spoken.document_span(3, 8);
    EXPECT_EQ(five.offset, 10u);
    EXPECT_EQ(five.length, doc.size() - 8 - 10);
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

TEST(Ssml, DocumentTypesAndEntitiesAreRefused) {
    const char* kRefused[] = {
        // Each entity ten of the one before: a billion letters if expanded.
        "<!DOCTYPE speak [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><speak>&c;&c;&c;</speak>",
        "<?xml version=\"1.0\"?><!DOCTYPE speak SYSTEM \"file:///etc/passwd\"><speak>x</speak>",
        "<!doctype speak><speak>x</speak>",
        // Not well-formed, still never read aloud.
        "<speak><!ENTITY e SYSTEM \"http://example.org/e\">&e;",
    };
    for (const char* doc : kRefused) EXPECT_THROW(parse_ssml(doc), SsmlRefused) << doc;
}

TEST(Ssml, SpokenTextKeepsTheDocumentsBytes) {
    // "<speak>" is 7 bytes, "Раз" 6, the mark 16, "&amp;" 5, the sub 27.
    const std::string doc =
        "<speak>Раз<mark name=\"m\"/> &amp; <sub alias=\"два\">2</sub> "
        "<say-as interpret-as=\"characters\">АБ</say-as></speak>";
    const SpokenText spoken = spoken_text(parse_ssml(doc));
    EXPECT_EQ(spoken.text, "Раз & два  А Б ");
    ASSERT_EQ(spoken.marks.size(), 1u);
    EXPECT_EQ(spoken.marks[0].name, "m");
    EXPECT_EQ(spoken.marks[0].offset, 6u);
    EXPECT_EQ(spoken.marks[0].source.offset, 13u);
    EXPECT_EQ(spoken.marks[0].source.length, 16u);
    const struct {
        std::size_t offset, length, doc_offset, doc_length;
    } kSpans[] = {
        {0, 6, 7, 6},     // Раз
        {7, 1, 30, 5},    // &amp;
        {9, 6, 36, 27},   // the alias: the whole <sub> element
        {17, 2, 98, 2},   // А, spelled
        {20, 2, 100, 2},  // Б
    };
    for (const auto& c : kSpans) {
        const ByteSpan span = spoken.document_span(c.offset, c.length);
        EXPECT_EQ(span.offset, c.doc_offset) << c.offset;
        EXPECT_EQ(span.length, c.doc_length) << c.offset;
    }
}

}  // namespace
}  // namespace zelvan_tts
