#include "text/speech_items.h"

#include <gtest/gtest.h>

namespace zelvan_tts {
namespace {

SpeechItem text(const char* t, float rate = 1.0f, int voice = -1) {
    SpeechItem i;
    i.text = t;
    i.prosody.rate = rate;
    i.voice = voice;
    return i;
}

SpeechItem mark(const char* name) {
    SpeechItem i;
    i.kind = SpeechItem::Kind::Mark;
    i.text = name;
    return i;
}

SpeechItem pause(int ms) {
    SpeechItem i;
    i.kind = SpeechItem::Kind::Break;
    i.break_ms = ms;
    return i;
}

// Speech as 'text'[mark@byte offset] xrate, pauses as P<ms>, tones as T.
std::string summary(const std::vector<SpeechSegment>& segments) {
    std::string out;
    for (const SpeechSegment& s : segments) {
        if (!out.empty()) out += " ";
        if (s.kind == SpeechSegment::Kind::Pause) {
            out += "P" + std::to_string(s.pause_ms);
            continue;
        }
        if (s.kind == SpeechSegment::Kind::Tone) {
            out += "T";
            continue;
        }
        out += "'" + s.spoken.text + "'";
        for (const SpokenMark& m : s.spoken.marks)
            out += "[" + m.name + "@" + std::to_string(m.offset) + "]";
        if (s.prosody.rate != 1.0f) out += " x" + std::to_string(s.prosody.rate).substr(0, 3);
        if (s.voice >= 0) out += " v" + std::to_string(s.voice);
    }
    return out;
}

TEST(SpeechSegments, MarksStayInOneSynthesisPausesProsodyAndVoicesCut) {
    SpeechItem tone;
    tone.kind = SpeechItem::Kind::Tone;
    const struct {
        std::vector<SpeechItem> items;
        const char* segments;
    } kCases[] = {
        {{mark("a"), text("Да "), mark("b"), text("нет."), mark("c")}, "'Да нет.'[a@0][b@5][c@12]"},
        {{text("Да "), mark("a"), pause(250), mark("b"), text("нет.")},
         "'Да '[a@5] P250 'нет.'[b@0]"},
        {{text("Да "), mark("a"), text("нет.", 0.5f)}, "'Да '[a@5] 'нет.' x0.5"},
        {{text("эм, "), tone, text("я")}, "'эм, ' T 'я'"},
        {{mark("a"), pause(0), mark("b")}, "''[a@0] P0 ''[b@0]"},
        {{text("Да ", 1.0f, 21), text("нет ", 1.0f, 21), mark("a"), text("yes", 1.0f, 50)},
         "'Да нет '[a@12] v21 'yes' v50"},
    };
    for (const auto& c : kCases) EXPECT_EQ(summary(speech_segments(c.items)), c.segments);
}

}  // namespace
}  // namespace zelvan_tts
