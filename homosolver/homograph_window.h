// The row the homograph classifier reads for one occurrence: the text around
// it, with the occurrence wrapped in the markers, as word-piece ids. A row
// holds at most kHomographMaxIds ids and is built from a bounded
// neighbourhood of the occurrence, so a long text costs the same per
// homograph as a short one, and every row has its markers inside.
#pragma once

#include "homosolver/homograph_text.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelvan_tts {

// The classifier reads at most this many ids per row.
inline constexpr std::size_t kHomographMaxIds = 512;

// How far, in bytes of the text, a row may reach on either side of its
// occurrence. A caller that hands in a slice of a longer text gives it at
// least this much (plus one byte) of the text around the occurrences it
// resolves, and the rows come out as the whole text would give them.
inline constexpr std::size_t kHomographContextBytes = 8192;

// The word-piece ids of a stretch of text, without [CLS] and [SEP].
using PieceIds = std::function<std::vector<std::int32_t>(std::string_view)>;

// The special ids a row is framed and marked with.
struct RowIds {
    std::int32_t cls_id;
    std::int32_t sep_id;
    std::int32_t open_id;
    std::int32_t close_id;
};

// The ids of the white-space separated pieces of one text, by their first
// byte: each piece is encoded once however many rows it falls into.
using PieceCache = std::unordered_map<std::size_t, std::vector<std::int32_t>>;

// [CLS], the ids of the text around `occurrence` with the occurrence marked
// " [HOMO] word [/HOMO] ", [SEP]. When the whole marked text fits in
// kHomographMaxIds ids and lies within kHomographContextBytes of the
// occurrence, that is the whole text; otherwise it is the occurrence's own
// piece, grown by whole pieces alternately to the left and to the right while
// they fit and lie within the byte bound. Pieces are cut at tab, LF, CR and
// space, as the tokenizer cuts them.
std::vector<std::int32_t> homograph_window(std::string_view text,
                                           const HomographOccurrence& occurrence,
                                           const RowIds& ids, const PieceIds& piece_ids,
                                           PieceCache& cache);

}  // namespace zelvan_tts
