// What a host speaks, before the engine reads it: text runs with their
// prosody, marks, pauses and tones, each piece with the bytes of the caller's
// text or document it comes from; and those pieces cut into the syntheses
// that speak them. The SSML reader makes the pieces (text/ssml.h), the
// reading modes rewrite them (text/reading_modes.h), and every host speaks
// them the same way: one synthesis per run of one prosody with the marks
// among its words, a pause or a tone between.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

// Factors relative to the message's own settings.
struct Prosody {
    float rate = 1.0f;
    float pitch = 1.0f;
    float volume = 1.0f;
};

bool operator==(const Prosody& a, const Prosody& b);

// Bytes [offset, offset + length) of the document.
struct ByteSpan {
    std::size_t offset = 0;
    std::size_t length = 0;
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
    // The voice (a row of the voice table) that reads it; -1: the host's own.
    int voice = -1;
    // Text: the document's bytes each byte of `text` comes from (a
    // character reference's bytes, a <sub>'s whole element for its alias);
    // Mark, Break and Tone: one span, the element or the letter. Empty when
    // the host does not track where the text comes from.
    std::vector<ByteSpan> source;
};

// The whole of `text` as one run, each byte its own source.
SpeechItem plain_text_item(std::string_view text);

// A mark among the spoken text: it stands before byte `offset`.
struct SpokenMark {
    std::string name;
    std::size_t offset = 0;
    ByteSpan source;  // the <mark/> element
};

// What one synthesis speaks: the text runs joined (spelled runs letter by
// letter, a pause or a run's edge as a blank), with its marks in between.
struct SpokenText {
    std::string text;
    std::vector<ByteSpan> source;  // per byte of `text`; empty: `text` is the document
    std::vector<SpokenMark> marks;

    // The document's bytes that bytes [offset, offset + length) of `text`
    // come from.
    ByteSpan document_span(std::size_t offset, std::size_t length) const;
};

SpokenText spoken_text(const std::vector<SpeechItem>& items);

// One step of speaking a document.
struct SpeechSegment {
    enum class Kind {
        Speech,  // `spoken` with `prosody`: one synthesis (marks alone when its text is empty)
        Pause,   // `pause_ms` of silence
        Tone,    // the capital letter's tone, at `prosody`'s volume
    };
    Kind kind = Kind::Speech;
    SpokenText spoken;
    Prosody prosody;
    int pause_ms = 0;
    int voice = -1;  // the row of the voice that speaks it; -1: the host's own
};

// The segments that speak `items` in order. Text and marks stay in one
// synthesis until the prosody or the voice changes or a pause or a tone comes, so that
// marks never cut a sentence; a mark before such a change ends the
// segment before it.
std::vector<SpeechSegment> speech_segments(const std::vector<SpeechItem>& items);

// The tone that announces a capital letter: 60 ms at 1.2 kHz, faded in and
// out, at `gain` of a third of full scale.
std::vector<float> capital_tone(int sample_rate, float gain);

}  // namespace zelvan_tts
