#include "demo/stress_features.h"

#include <algorithm>

namespace zelvan_tts::demo {

namespace {

const std::vector<std::string>& vowels() {
    static const std::vector<std::string> v{"а", "о", "у", "ы", "э", "и", "е", "я", "ё", "ю"};
    return v;
}

// Letters a..b-1 of a clean word.
std::string letters(const std::string& w, int a, int b) {
    return w.substr(static_cast<std::size_t>(2 * a), static_cast<std::size_t>(2 * (b - a)));
}

}  // namespace

std::vector<int> vowel_letters(const std::string& clean) {
    std::vector<int> out;
    const int m = static_cast<int>(clean.size() / 2);
    for (int i = 0; i < m; ++i) {
        const std::string ch = letters(clean, i, i + 1);
        if (std::find(vowels().begin(), vowels().end(), ch) != vowels().end()) out.push_back(i);
    }
    return out;
}

// Keep in step with `features` of stress_model.torchscript.
std::vector<std::vector<std::string>> stress_features(const std::string& clean) {
    const int m = static_cast<int>(clean.size() / 2);
    const std::vector<int> positions = vowel_letters(clean);
    const int nv = static_cast<int>(positions.size());
    std::vector<std::vector<std::string>> out;
    for (int j = 0; j < nv; ++j) {
        const int p = positions[static_cast<std::size_t>(j)];
        const std::string jr = std::to_string(nv - 1 - j);
        std::vector<std::string> f;
        f.push_back("a" + std::to_string(j) + "." + std::to_string(nv));
        for (int k = 1; k <= 4; ++k) {
            if (p + k <= m) {
                f.push_back("r" + std::to_string(k) + letters(clean, p, p + k));
            } else {
                f.push_back("r" + std::to_string(k) + letters(clean, p, m) + "$");
                break;
            }
        }
        for (int k = 1; k <= 4; ++k) {
            if (p - k >= 0) {
                f.push_back("l" + std::to_string(k) + letters(clean, p - k, p + 1));
            } else {
                f.push_back("l" + std::to_string(k) + "^" + letters(clean, 0, p + 1));
                break;
            }
        }
        for (int k = 1; k <= std::min(5, m); ++k) f.push_back("e" + jr + letters(clean, m - k, m));
        for (int k = 2; k <= std::min(4, m); ++k)
            f.push_back("b" + std::to_string(j) + letters(clean, 0, k));
        if (m - p <= 7) f.push_back("t" + letters(clean, p, m));
        if (p + 1 <= 7) f.push_back("h" + letters(clean, 0, p + 1));
        out.push_back(std::move(f));
    }
    return out;
}

}  // namespace zelvan_tts::demo
