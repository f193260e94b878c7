// What speech-dispatcher's SSML asks to be said: text runs with their prosody,
// index marks, pauses. Only the elements a screen reader relies on change the
// reading; every other element is read as its text content.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts::speechd {

// Factors relative to the message's own settings.
struct Prosody {
    float rate = 1.0f;
    float pitch = 1.0f;
    float volume = 1.0f;
};

struct SpeechItem {
    enum class Kind {
        Text,   // `text` read with `prosody`; spelled out if `characters`
        Mark,   // the index mark `text`
        Break,  // `break_ms` of silence
        Tone,   // the short tone that announces a capital letter
    };
    Kind kind = Kind::Text;
    std::string text;
    Prosody prosody;
    bool characters = false;
    int break_ms = 0;
};

// The longest pause a <break> gives: a longer time is read as this.
inline constexpr int kMaxBreakMs = 60000;

// Reads a SPEAK message. Well-formed SSML gives its marks, breaks and text
// runs (adjacent runs with equal reading merged, runs of white space alone
// dropped); anything that is not well-formed XML is read as plain text,
// without the <speak> envelope speech-dispatcher puts around every message.
std::vector<SpeechItem> parse_ssml(std::string_view message);

// The prosody attributes, each relative to 1 (what the attribute is missing
// or not understood gives): rate "x-slow".."x-fast", "150%", "+20%", "1.5";
// pitch "x-low".."x-high", "+10%", "-2st"; volume "silent".."x-loud",
// "+6dB", "-20%", "50".
float prosody_rate(std::string_view value);
float prosody_pitch(std::string_view value);
float prosody_volume(std::string_view value);

// The milliseconds of a <break>: its time ("250ms", "1.5s") if it has one,
// else its strength ("none".."x-strong"), else medium; at most kMaxBreakMs.
int break_duration(std::string_view time, std::string_view strength);

}  // namespace zelvan_tts::speechd
