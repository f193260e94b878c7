// SSML as every host reads it: text runs with their prosody and voice,
// marks, pauses, each piece with the bytes of the document it comes from. Only the
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

// Reads an SSML document that the host speaks with `voice` (a row of the
// voice table; -1: a voice the reader does not know, taken to be Russian).
// Well-formed SSML gives its marks, breaks and text runs (adjacent runs with
// equal reading merged, runs of white space alone dropped); a text that is
// not well-formed XML is read as its text without the markup (what looks
// like a tag, "<" then a letter, "/", "!" or "?", up to the next ">"), its
// character references decoded. Throws SsmlRefused.
//
// <say-as> reads its content as text/say_as.h says, in the language of the
// voice that reads it, the whole element the source of what is said; content
// not written as its interpret-as says, and an interpret-as not known here,
// are read as text.
//
// Voices: each run carries the voice that reads it. <voice name="..."> takes
// the first of its names (a key "ru_alsu", a display name, a given name, a
// row number) that a voice has, of the element's xml:lang when a twin of
// that name speaks it; <voice gender="female|male"> a voice of that sex in
// the language there is; xml:lang (on any element, speak, p, s, voice and
// lang among them) and <voice languages="..."> a voice of that language, the
// twin of the voice there was when one exists. A name, a language or a sex
// that no voice has keeps the voice there was.
std::vector<SpeechItem> parse_ssml(std::string_view document, int voice = -1);

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
