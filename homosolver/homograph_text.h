// The text side of homograph resolution: finding dictionary words in a text,
// wrapping one of them in the classifier's markers, and spelling a chosen
// variant in the letter case of the text.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace zelvan_tts {

// Homograph (lower case) -> its variants, each with "+" before the stressed
// vowel.
using HomographDictionary = std::unordered_map<std::string, std::vector<std::string>>;

// One dictionary word found in a text.
struct HomographOccurrence {
    std::size_t start = 0;  // first byte of the word in the text
    std::size_t end = 0;    // one past its last byte
    std::string word;       // the word as written
    std::string key;        // the word lower-cased: the dictionary key it matched
};

// Every maximal run of Cyrillic letters (U+0400..U+04FF, "+" included in the
// run) whose case-folded form is a dictionary key, in text order. A run that
// carries a "+" is already marked and matches nothing. Offsets are those of
// the bytes as written, undecodable bytes counting one each.
std::vector<HomographOccurrence> find_homographs(const std::string& text,
                                                 const HomographDictionary& homodict);

// The text with the occurrence wrapped as " [HOMO] word [/HOMO] ".
std::string mark_homograph(const std::string& text, const HomographOccurrence& occurrence);

// `variant` in the letter case of `word`, letter by letter: a capital in the
// word makes the variant's letter a capital (а..я and ё only), any other
// letter stays small. The "+" is kept only when the variant has at least two
// vowels; with one vowel the stress is not worth marking, but a ё stays.
std::string cased_variant(const std::string& word, const std::string& variant);

}  // namespace zelvan_tts
