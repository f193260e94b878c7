// The text side of stress placement: cutting a text into pieces, finding the
// vowels of a word, and writing the stress mark and ё into a piece. No
// LibTorch here. Every piece keeps its bytes; a mark or ё changes only the
// bytes it concerns, so malformed UTF-8 beside a word passes through as is.
#pragma once

#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

// One piece of a text, in text order.
struct TokenRecord {
    std::string text;   // the piece exactly as in the input; marks go in here
    std::string clean;  // a word's Cyrillic letters (U+0400..U+04FF), folded to lower case
    bool is_word = false;
};

// The ten vowels of an accentor language, as UTF-8.
struct VowelSets {
    std::string lower;
    std::string upper;
};

// The vowels of a language as a lookup over U+0400..U+04FF, the only letters
// a clean word holds, and whether its е are tracked for ё (Russian only).
struct VowelLookup {
    std::bitset<256> vowel;
    bool collect_ye = false;
};

// Vowel indices of a clean word, and the indices of its е when tracked.
struct VowelPositions {
    std::vector<int> vowels;
    std::vector<int> ye;
};

// The accentor language code ("ru", "by", "ua") of a voice language given as
// ISO 639-3 ("rus", "bel", "ukr"); empty for any other language.
std::string accentor_language(std::string_view iso639_3);

// The vowels of `lang`; an unknown code takes the Russian ones.
VowelSets vowel_sets(std::string_view lang);

// A word of more Cyrillic letters than this is no word of the language (a
// run glued together without spaces): it gets no stress, and the model never
// sees it.
inline constexpr std::size_t kMaxStressWordLetters = 48;

// Cuts `text` at runs of ASCII white space (blank, tab, LF, VT, FF, CR) and
// then at each hyphen-minus; white space runs and hyphens become records that
// are not words. A part is a word when it has a Cyrillic letter, except the
// particle "то" after a hyphen (кто-то), which gets no stress, and a part
// of more than kMaxStressWordLetters letters.
std::vector<TokenRecord> split_words(std::string_view text);

// The lookup for the letters of `vowels_lower` and `vowels_upper`.
VowelLookup vowel_lookup(std::string_view vowels_lower, std::string_view vowels_upper,
                         bool collect_ye);

// Walks the code points of `clean` (as split_words makes it) with index i
// from 0: i goes to `vowels` when the letter is a vowel, and also to `ye`
// when е is tracked and the letter is е or Е. Fills `positions` afresh,
// reusing its storage.
void vowel_positions(std::string_view clean, const VowelLookup& lookup, VowelPositions& positions);

// Byte offset of the i-th code point of `text` in U+0400..U+04FF, decoded as
// utf8_to_utf32 decodes; npos when i is negative or there is no such letter.
std::size_t cyrillic_letter_offset(std::string_view text, long long index);

// `text` with "+" before its i-th Cyrillic letter; unchanged when there is
// none.
std::string insert_stress_mark(std::string text, long long index);

// `text` with its i-th Cyrillic letter written ё (Ё) when it is е (Е);
// unchanged otherwise.
std::string set_yo(std::string text, long long index);

}  // namespace zelvan_tts
