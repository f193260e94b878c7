// SSML as every host reads it: text runs with their prosody, marks, pauses,
// each piece with the bytes of the document it comes from. Only the
// elements that change the reading are acted on; every other element is
// read as its text content. A document type, entity declarations and
// external entities are refused, never fetched, expanded or read aloud.
#pragma once

#include "text/speech_items.h"

#include <stdexcept>
#include <string_view>
#include <vector>

namespace zelvan_tts {

// A document that declares a document type or entities.
class SsmlRefused : public std::invalid_argument {
public:
    SsmlRefused() : std::invalid_argument("SSML with a document type or entities is refused") {}
};

// The longest pause a <break> gives: a longer time is read as this.
inline constexpr int kMaxBreakMs = 60000;

// Reads an SSML document. Well-formed SSML gives its marks, breaks and text
// runs (adjacent runs with equal reading merged, runs of white space alone
// dropped); a text that is not well-formed XML is read as its text without
// the markup (what looks like a tag, "<" then a letter, "/", "!" or "?", up
// to the next ">"), its character references decoded. Throws SsmlRefused.
std::vector<SpeechItem> parse_ssml(std::string_view document);

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

}  // namespace zelvan_tts
