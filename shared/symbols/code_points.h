// Code-point utilities shared by every text stage: lenient UTF-8 decoding,
// UTF-8 encoding, and the case folding the model's alphabet relies on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelvan_tts {

// Decodes UTF-8 without ever failing: every byte that does not start a
// well-formed sequence (stray continuation, overlong form, surrogate, value
// above U+10FFFF, sequence cut off by the end) becomes one U+FFFD, and
// decoding resumes at the very next byte.
std::u32string utf8_to_utf32(std::string_view text);

// One code point of utf8_to_utf32's decoding: the one that starts at `pos`,
// which moves past the bytes it took (one for a U+FFFD of a bad byte).
char32_t decode_utf8(std::string_view text, std::size_t& pos);

// Appends the standard UTF-8 form (1 to 4 bytes) of one code point.
void append_utf8(std::string& out, char32_t code_point);

// Encodes a code-point string as UTF-8.
std::string utf32_to_utf8(std::u32string_view text);

// Encodes UTF-16 (voice display names, Windows strings) as UTF-8; an
// unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// Folds the capitals the alphabet knows to their small letters: A-Z, А-Я,
// Ѐ-Џ, and the even code points of U+0460-U+04FF. Everything else is itself.
char32_t fold_case(char32_t code_point);

// fold_case applied to every code point; the length never changes.
std::u32string fold_case_string(std::u32string_view text);

// fold_case applied to every code point of UTF-8 text.
std::string fold_case_utf8(std::string_view text);

// A-Z as a-z, every other byte as it is: for names that are ASCII by
// definition (voice keys, registry paths, command words), where the
// alphabet's fold_case would be the wrong rule.
std::string ascii_lower(std::string_view text);

// The same bytes but for the case of A-Z.
bool equal_ignoring_ascii_case(std::string_view a, std::string_view b);

// Length of the UTF-8 sequence a lead byte announces (1 to 4); a byte that
// cannot lead a sequence counts as 1. The following bytes are not checked.
std::size_t utf8_char_length(unsigned char lead_byte);

}  // namespace zelvan_tts
