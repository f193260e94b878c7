// Where the recorded voice stresses a Russian word that arrives without a
// stress mark (the stress stage off, or a word it left alone): by the
// word's ending, learnt from the stressed lexicon of festvox-ru. The same
// lexicon names the words read without any stress of their own
// (prepositions, conjunctions, particles such as в, на, и, же, бы), which
// lean on their neighbour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelvan_tts::voice {

inline constexpr std::int64_t kStressCodeBase = 34;
inline constexpr int kLongestStressSuffix = 5;

struct StressGuess {
    // Keys of word endings (stress_key), sorted, and the stressed vowel of a
    // word with that ending counted from the word's end (1: the last vowel).
    std::vector<std::int64_t> suffix_keys;
    std::vector<std::int64_t> suffix_vowel;
    std::vector<std::int64_t> unstressed_words;  // keys of whole words, sorted
    int default_vowel = 2;                       // the commonest place, for endings not learnt
};

// 1..33 for а..я and ё (ё counts as е: the lexicon writes е), 0 otherwise.
int stress_code(char32_t letter);

// The key of the last `length` (1..5) letter codes of a word.
std::int64_t stress_key(const std::vector<int>& codes, int length);

// Reads dict/msu_ru_nsh_dict.scm below `corpus_dir`. Throws
// std::runtime_error when it cannot be read or holds no word.
StressGuess learn_stress_guess(const std::string& corpus_dir);

}  // namespace zelvan_tts::voice
