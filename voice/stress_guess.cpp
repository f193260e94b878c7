#include "voice/stress_guess.h"

#include "shared/symbols/code_points.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <stdexcept>

namespace zelvan_tts::voice {

namespace {

bool is_vowel_code(int code) {
    // а е и о у ы э ю я (ё counts as е)
    static constexpr int vowels[] = {1, 6, 9, 15, 20, 28, 30, 31, 32};
    return std::find(std::begin(vowels), std::end(vowels), code) != std::end(vowels);
}

}  // namespace

int stress_code(char32_t letter) {
    if (letter >= U'а' && letter <= U'я') return static_cast<int>(letter - U'а') + 1;
    if (letter == U'ё') return 6;
    return 0;
}

std::int64_t stress_key(const std::vector<int>& codes, int length) {
    std::int64_t key = length;
    for (int i = 0; i < kLongestStressSuffix; ++i) key *= kStressCodeBase;
    std::int64_t place = 1;
    for (int i = 0; i < length; ++i, place *= kStressCodeBase)
        key += codes[codes.size() - 1 - static_cast<std::size_t>(i)] * place;
    return key;
}

StressGuess learn_stress_guess(const std::string& corpus_dir) {
    const std::string path = corpus_dir + "/dict/msu_ru_nsh_dict.scm";
    std::ifstream in(path);
    if (!in) throw std::runtime_error("Cannot read the stressed lexicon: " + path);
    std::map<std::int64_t, std::array<int, 8>> counts;
    std::array<long, 8> places{};
    StressGuess g;
    std::string line;
    while (std::getline(in, line)) {
        // ("word" pos (n))
        const std::size_t q1 = line.find('"'), q2 = line.find('"', q1 + 1);
        const std::size_t p1 = line.rfind('('), p2 = line.find(')', p1);
        if (q1 == std::string::npos || q2 == std::string::npos || p1 == std::string::npos ||
            p2 == std::string::npos)
            continue;
        const std::u32string word = utf8_to_utf32(line.substr(q1 + 1, q2 - q1 - 1));
        const int stress = std::atoi(line.c_str() + p1 + 1);
        std::vector<int> codes;
        for (char32_t c : word) codes.push_back(stress_code(c));
        if (codes.empty() || std::count(codes.begin(), codes.end(), 0) > 0) continue;
        const int n = static_cast<int>(codes.size());
        const int vowels =
            static_cast<int>(std::count_if(codes.begin(), codes.end(), is_vowel_code));
        if (stress == 0) {
            if (n <= kLongestStressSuffix) g.unstressed_words.push_back(stress_key(codes, n));
            continue;
        }
        if (vowels < 2 || stress > vowels) continue;
        const int from_end = vowels - stress + 1;
        if (from_end >= 8) continue;
        ++places[static_cast<std::size_t>(from_end)];
        for (int length = 1; length <= std::min(n, kLongestStressSuffix); ++length)
            ++counts[stress_key(codes, length)][static_cast<std::size_t>(from_end)];
    }
    if (counts.empty()) throw std::runtime_error("No stressed word in the lexicon: " + path);
    g.default_vowel =
        static_cast<int>(std::max_element(places.begin(), places.end()) - places.begin());

    // Keep an ending when most words with it agree and it says something the
    // lookup would not say without it (shorter endings come first).
    const std::int64_t block = stress_key(std::vector<int>(kLongestStressSuffix, 0), 1);  // base^5
    std::map<std::int64_t, int> kept;
    for (const auto& [key, c] : counts) {
        int total = 0;
        for (int v : c) total += v;
        const int best = static_cast<int>(std::max_element(c.begin(), c.end()) - c.begin());
        if (total < 4 || c[static_cast<std::size_t>(best)] < 0.6 * total) continue;
        const std::int64_t length = key / block, digits = key % block;
        int fallback = g.default_vowel;
        std::int64_t modulus = kStressCodeBase;
        for (std::int64_t shorter = 1; shorter < length; ++shorter, modulus *= kStressCodeBase) {
            const auto it = kept.find(shorter * block + digits % modulus);
            if (it != kept.end()) fallback = it->second;
        }
        if (best != fallback) kept[key] = best;
    }
    for (const auto& [key, vowel] : kept) {
        g.suffix_keys.push_back(key);
        g.suffix_vowel.push_back(vowel);
    }
    std::sort(g.unstressed_words.begin(), g.unstressed_words.end());
    g.unstressed_words.erase(std::unique(g.unstressed_words.begin(), g.unstressed_words.end()),
                             g.unstressed_words.end());
    return g;
}

}  // namespace zelvan_tts::voice
