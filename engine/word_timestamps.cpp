#include "engine/word_timestamps.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/symbols.h"

namespace zelvan_tts {

void extract_word_timestamps(std::string_view chunk, const float* times, std::size_t count,
                             float offset, float speed, std::vector<WordTimestamp>& out) {
    // Without any time value there is nothing to align against.
    if (count == 0) return;
    const SymbolMap& map = SymbolMap::instance();

    const float first = count >= 2 ? times[1] : 0.0f;
    float start = first;
    float end = first;
    float boundary = first;
    std::size_t i = 1;  // id position of the next mapped symbol (0 is the frame)
    bool in_word = false;

    const auto close_word = [&] {
        out.push_back({(start + offset) / speed, (end + offset) / speed});
        in_word = false;
    };

    for (char32_t c : utf8_to_utf32(chunk)) {
        const char32_t folded = fold_case(c);
        if (map.find(folded) < 0) continue;  // produced no id
        // The symbol ends where the next one starts; a short tensor repeats
        // its last value.
        const float t = i + 1 < count ? times[i + 1] : times[count - 1];
        ++i;
        if (folded == U' ') {
            if (in_word) close_word();
            boundary = t;
        } else {
            if (!in_word) {
                start = boundary;
                in_word = true;
            }
            end = t;
        }
    }
    if (in_word) close_word();
}

}  // namespace zelvan_tts
