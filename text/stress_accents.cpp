#include "text/stress_accents.h"

#include "shared/symbols/code_points.h"

namespace zelvan_tts {

namespace {

constexpr char32_t kCombiningAcute = 0x0301;

bool is_vowel(char32_t c) {
    static constexpr std::u32string_view kVowels =
        U"аеёиоуыэюяєіїәөүұӑӗӧӱӯӣӥaeiouy";
    return kVowels.find(fold_case(c)) != std::u32string_view::npos;
}

}  // namespace

std::string stress_accents_to_marks(std::string_view text) {
    // Most texts have no accent: nothing to copy then.
    if (text.find("\xCC\x81") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t vowel_at = std::string::npos;  // where in `out` the last character starts, a vowel
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t at = pos;
        const char32_t c = decode_utf8(text, pos);
        if (c == kCombiningAcute && vowel_at != std::string::npos) {
            if (vowel_at == 0 || out[vowel_at - 1] != '+') out.insert(vowel_at, 1, '+');
            vowel_at = std::string::npos;
            continue;
        }
        vowel_at = is_vowel(c) ? out.size() : std::string::npos;
        out.append(text.substr(at, pos - at));
    }
    return out;
}

}  // namespace zelvan_tts
