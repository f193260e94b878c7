// The voice model's symbol alphabet and the encoder that turns one chunk of
// normalised text into the model's id sequence.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelvan_tts {

// 85 code points; the position of a code point is its symbol id. Ids 0..2 are
// all the vertical line, so a text's "|" maps to 2 and ids 0 and 1 never come
// from a character.
extern const std::u32string_view symbols;

inline constexpr std::int64_t kSequenceStartId = 2;
inline constexpr std::int64_t kSequenceEndId = 1;

// Code point -> symbol id, built once from `symbols` (a repeated code point
// keeps its last position). Read-only after construction.
class SymbolMap {
public:
    static const SymbolMap& instance();

    // The symbol id of a folded code point, or -1 when the alphabet lacks it.
    std::int32_t find(char32_t code_point) const {
        const auto it = ids_.find(code_point);
        return it == ids_.end() ? -1 : it->second;
    }
    std::size_t size() const { return ids_.size(); }

private:
    SymbolMap();
    std::unordered_map<char32_t, std::int32_t> ids_;
};

// Receives the dropped characters (each in UTF-8 followed by one blank) and
// their count. May be empty.
using UnmappedCharsSink = std::function<void(const std::string& chars, int count)>;

// Case-folds the chunk and maps it to ids framed by 2 ... 1. Characters the
// alphabet lacks are dropped and reported once, at the end, to the sink.
std::vector<std::int64_t> encode_text(std::string_view text, const SymbolMap& map,
                                      const UnmappedCharsSink& sink = {});

}  // namespace zelvan_tts
