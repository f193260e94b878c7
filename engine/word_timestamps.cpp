#include "engine/word_timestamps.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/symbols.h"

namespace zelvan_tts {

namespace {

}  // namespace

void walk_symbols(std::string_view chunk,
                  const std::function<void(char32_t, bool, std::size_t)>& symbol) {
    const SymbolMap& map = SymbolMap::instance();
    for (std::size_t pos = 0; pos < chunk.size();) {
        const std::size_t at = pos;
        const char32_t c = decode_utf8(chunk, pos);
        const char32_t folded = fold_case(c);
        if (map.find(folded) >= 0) symbol(c, folded == U' ', at);
    }
}

void extract_word_timestamps(std::string_view chunk, const float* times, std::size_t count,
                             float offset, float speed, std::vector<WordTimestamp>& out) {
    // Without any time value there is nothing to align against.
    if (count == 0) return;

    const float first = count >= 2 ? times[1] : 0.0f;
    float start = first;
    float end = first;
    float boundary = first;
    std::size_t i = 1;  // id position of the next symbol (0 is the frame)
    bool in_word = false;

    const auto close_word = [&] {
        out.push_back({(start + offset) / speed, (end + offset) / speed});
        in_word = false;
    };

    walk_symbols(chunk, [&](char32_t, bool blank, std::size_t) {
        // The symbol ends where the next one starts; a short tensor repeats
        // its last value.
        const float t = i + 1 < count ? times[i + 1] : times[count - 1];
        ++i;
        if (blank) {
            if (in_word) close_word();
            boundary = t;
        } else {
            if (!in_word) {
                start = boundary;
                in_word = true;
            }
            end = t;
        }
    });
    if (in_word) close_word();
}

bool has_speech(std::string_view chunk) {
    static constexpr std::u32string_view kSilent = U"!'+,-.:;?\u2014\u2026";
    bool speech = false;
    walk_symbols(chunk, [&speech](char32_t c, bool blank, std::size_t) {
        if (!blank && kSilent.find(fold_case(c)) == std::u32string_view::npos) speech = true;
    });
    return speech;
}

std::vector<std::string> spoken_words(std::string_view chunk) {
    std::vector<std::string> words;
    bool in_word = false;
    walk_symbols(chunk, [&](char32_t c, bool blank, std::size_t) {
        if (blank) {
            in_word = false;
            return;
        }
        if (!in_word) words.emplace_back();
        in_word = true;
        append_utf8(words.back(), c);
    });
    return words;
}

}  // namespace zelvan_tts
