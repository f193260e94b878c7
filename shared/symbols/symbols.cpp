#include "shared/symbols/symbols.h"

#include "shared/symbols/code_points.h"

namespace zelvan_tts {

namespace {

constexpr char32_t kSymbols[] =
    U"|||"                               // 0-2: padding, end, start
    U"!'+,-.:;?"                         // 3-11
    U"h"                                 // 12: the only Latin letter
    U"абвгдежзийклмнопрстуфхцчшщъыьэюя"  // 13-44
    U"ё"                                 // 45
    U"єіїјўґ"                            // 46-51
    U"ғҕҗҙқҝҡңҥҫ"                        // 52-61
    U"үұҳҷҹһ"                            // 62-67
    U"ӑӗәӝӟӣӥӧөӯӱӳӵ"                     // 68-80
    U"ӏ"                                 // 81: small palochka
    U"\u2014\u2026"                      // 82-83: em dash, ellipsis
    U" ";                                // 84

static_assert(sizeof(kSymbols) / sizeof(char32_t) == 85 + 1, "the alphabet has 85 symbols");

}  // namespace

const std::u32string_view symbols{kSymbols, 85};

SymbolMap::SymbolMap() {
    ids_.reserve(symbols.size());
    for (std::size_t pos = 0; pos < symbols.size(); ++pos) {
        ids_[symbols[pos]] = static_cast<std::int32_t>(pos);
    }
}

const SymbolMap& SymbolMap::instance() {
    static const SymbolMap map;
    return map;
}

std::vector<std::int64_t> encode_text(std::string_view text, const SymbolMap& map,
                                      const UnmappedCharsSink& sink) {
    const std::u32string folded = fold_case_string(utf8_to_utf32(text));
    std::vector<std::int64_t> ids;
    ids.reserve(folded.size() + 2);
    ids.push_back(kSequenceStartId);

    int unmapped = 0;
    std::string collected;
    for (char32_t cp : folded) {
        const std::int32_t id = map.find(cp);
        if (id >= 0) {
            ids.push_back(id);
            continue;
        }
        ++unmapped;
        if (sink) {
            append_utf8(collected, cp);
            collected.push_back(' ');
        }
    }
    ids.push_back(kSequenceEndId);

    if (sink && unmapped > 0) sink(collected, unmapped);
    return ids;
}

}  // namespace zelvan_tts
