#include "homosolver/homograph_window.h"

#include <algorithm>
#include <string>

namespace zelvan_tts {

namespace {

bool is_piece_break(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// The bytes a row may draw from: [lower, upper).
struct Bounds {
    std::size_t lower;
    std::size_t upper;
};

// The occurrence's own piece with the markers, cut to the row's budget
// around the markers when it alone is too long (a run of punctuation glued
// to the word).
std::vector<std::int32_t> centre_ids(std::string_view text, const HomographOccurrence& occurrence,
                                     std::size_t begin, std::size_t end, const RowIds& ids,
                                     const PieceIds& piece_ids) {
    std::string marked(text.substr(begin, occurrence.start - begin));
    marked += " [HOMO] ";
    marked.append(text.substr(occurrence.start, occurrence.end - occurrence.start));
    marked += " [/HOMO] ";
    marked.append(text.substr(occurrence.end, end - occurrence.end));
    std::vector<std::int32_t> centre = piece_ids(marked);

    const std::size_t budget = kHomographMaxIds - 2;
    if (centre.size() <= budget) return centre;
    const auto open = std::find(centre.begin(), centre.end(), ids.open_id);
    const auto close = std::find(centre.begin(), centre.end(), ids.close_id);
    const std::size_t o = open == centre.end() ? 0 : static_cast<std::size_t>(open - centre.begin());
    const std::size_t c = close == centre.end() ? o : static_cast<std::size_t>(close - centre.begin());
    const std::size_t spare = budget > c - o + 1 ? budget - (c - o + 1) : 0;
    std::size_t lo = o > spare / 2 ? o - spare / 2 : 0;
    const std::size_t hi = std::min(centre.size(), lo + budget);
    lo = hi - std::min(hi, budget);
    return {centre.begin() + static_cast<std::ptrdiff_t>(lo),
            centre.begin() + static_cast<std::ptrdiff_t>(hi)};
}

}  // namespace

std::vector<std::int32_t> homograph_window(std::string_view text,
                                           const HomographOccurrence& occurrence,
                                           const RowIds& ids, const PieceIds& piece_ids,
                                           PieceCache& cache) {
    const Bounds bounds{
        occurrence.start > kHomographContextBytes ? occurrence.start - kHomographContextBytes : 0,
        std::min(text.size(), occurrence.end + kHomographContextBytes)};

    // The occurrence's own piece, clipped at the bounds.
    std::size_t begin = occurrence.start;
    while (begin > bounds.lower && !is_piece_break(text[begin - 1])) --begin;
    std::size_t end = occurrence.end;
    while (end < bounds.upper && !is_piece_break(text[end])) ++end;
    bool left_open = begin == 0 || is_piece_break(text[begin - 1]);
    bool right_open = end == text.size() || is_piece_break(text[end]);

    std::vector<std::int32_t> centre = centre_ids(text, occurrence, begin, end, ids, piece_ids);
    std::size_t room = kHomographMaxIds - 2 - centre.size();

    const auto cached = [&](std::size_t first, std::size_t last) -> const std::vector<std::int32_t>& {
        auto it = cache.find(first);
        if (it == cache.end()) it = cache.emplace(first, piece_ids(text.substr(first, last - first))).first;
        return it->second;
    };

    // Whole pieces on either side, nearest first, while they fit.
    std::vector<const std::vector<std::int32_t>*> left;
    std::vector<const std::vector<std::int32_t>*> right;
    bool take_left = true;
    while (left_open || right_open) {
        if (take_left ? !left_open : !right_open) take_left = !take_left;
        if (take_left) {
            std::size_t last = begin;
            while (last > bounds.lower && is_piece_break(text[last - 1])) --last;
            std::size_t first = last;
            while (first > bounds.lower && !is_piece_break(text[first - 1])) --first;
            const bool whole = first == 0 || is_piece_break(text[first - 1]);
            const std::vector<std::int32_t>* piece = nullptr;
            if (first < last && whole) piece = &cached(first, last);
            if (piece == nullptr || piece->size() > room) {
                left_open = false;
            } else {
                left.push_back(piece);
                room -= piece->size();
                begin = first;
            }
        } else {
            std::size_t first = end;
            while (first < bounds.upper && is_piece_break(text[first])) ++first;
            std::size_t last = first;
            while (last < bounds.upper && !is_piece_break(text[last])) ++last;
            const bool whole = last == text.size() || is_piece_break(text[last]);
            const std::vector<std::int32_t>* piece = nullptr;
            if (first < last && whole) piece = &cached(first, last);
            if (piece == nullptr || piece->size() > room) {
                right_open = false;
            } else {
                right.push_back(piece);
                room -= piece->size();
                end = last;
            }
        }
        take_left = !take_left;
    }

    std::vector<std::int32_t> row{ids.cls_id};
    row.reserve(kHomographMaxIds - room);
    for (auto it = left.rbegin(); it != left.rend(); ++it) row.insert(row.end(), (*it)->begin(), (*it)->end());
    row.insert(row.end(), centre.begin(), centre.end());
    for (const auto* piece : right) row.insert(row.end(), piece->begin(), piece->end());
    row.push_back(ids.sep_id);
    return row;
}

}  // namespace zelvan_tts
