#include "engine/word_spans.h"

#include "engine/word_timestamps.h"
#include "text/normalization.h"
#include "text/user_dictionary.h"

#include <algorithm>

namespace zelvan_tts {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Calls piece(begin, end) for every run of bytes between white space.
template <typename OnPiece>
void for_each_piece(std::string_view text, OnPiece piece) {
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_space(text[i])) ++i;
        const std::size_t begin = i;
        while (i < text.size() && !is_space(text[i])) ++i;
        if (i > begin) piece(begin, i);
    }
}

// The input bytes that the read text's bytes [begin, end) come from,
// widened to the whole pieces of the input they touch. `edit` is the first
// edit that may concern them: pieces come in order, so it only moves on.
TextSpan source_of(std::string_view input, const std::vector<ReadingEdit>& edits,
                   std::size_t begin, std::size_t end, std::size_t& edit) {
    while (edit < edits.size() && edits[edit].out_end <= begin) ++edit;
    const auto map = [&](std::size_t at) -> TextSpan {
        std::size_t k = edit;
        while (k < edits.size() && edits[k].out_end <= at) ++k;
        if (k < edits.size() && edits[k].out_begin <= at)
            return {edits[k].begin, edits[k].end - edits[k].begin};
        // Outside the edits a byte is the input's, shifted by the edits before it.
        const std::size_t in = k == 0 ? at : edits[k - 1].end + (at - edits[k - 1].out_end);
        return {in, 1};
    };
    std::size_t from = std::min(map(begin).offset, input.size());
    const TextSpan last = map(end - 1);
    std::size_t to = std::min(last.offset + last.length, input.size());
    while (from > 0 && !is_space(input[from - 1])) --from;
    while (to < input.size() && !is_space(input[to])) ++to;
    return {from, to - from};
}

}  // namespace

std::vector<ChunkWords> chunk_words(std::string_view input, std::string_view script,
                                    std::string_view lang, std::size_t max_chars,
                                    const UserDictionary* dictionary) {
    return chunk_words(input, input, {}, script, lang, max_chars, dictionary);
}

std::vector<ChunkWords> chunk_words(std::string_view input, std::string_view read,
                                    const std::vector<ReadingEdit>& edits,
                                    std::string_view script, std::string_view lang,
                                    std::size_t max_chars, const UserDictionary* dictionary) {
    // The caller's piece that each piece of the spoken text comes from.
    std::vector<TextSpan> owners;
    std::size_t edit = 0;
    for_each_piece(read, [&](std::size_t begin, std::size_t end) {
        const TextSpan owner = source_of(input, edits, begin, end, edit);
        // Numbers and the user's own readings may give a piece several words.
        std::string spelled = normalize_numbers(read.substr(begin, end - begin), lang);
        if (dictionary != nullptr) spelled = dictionary->apply(spelled, lang);
        for_each_piece(spelled, [&](std::size_t, std::size_t) { owners.push_back(owner); });
    });
    std::size_t script_pieces = 0;
    for_each_piece(script, [&](std::size_t, std::size_t) { ++script_pieces; });
    const bool matched = script_pieces == owners.size();

    std::vector<ChunkWords> out;
    std::size_t pos = 0;         // bytes of the script before pos are counted
    std::size_t piece = 0;       // pieces begun before pos
    bool after_space = true;
    const auto count_to = [&](std::size_t target) {
        for (; pos < target; ++pos) {
            if (is_space(script[pos])) {
                after_space = true;
            } else if (after_space) {
                ++piece;
                after_space = false;
            }
        }
    };
    for (const TextSpan& chunk : split_into_chunk_spans(script, max_chars)) {
        ChunkWords words{chunk, {}};
        bool in_word = false;
        std::size_t first = 0;
        std::size_t last = 0;
        const auto close = [&] {
            if (!matched || first == 0) {
                words.words.push_back({0, input.size()});
            } else {
                const TextSpan& a = owners[first - 1];
                const TextSpan& b = owners[last - 1];
                words.words.push_back({a.offset, b.offset + b.length - a.offset});
            }
            in_word = false;
        };
        walk_symbols(script.substr(chunk.offset, chunk.length),
                     [&](char32_t, bool blank, std::size_t at) {
                         count_to(chunk.offset + at + 1);
                         if (blank) {
                             if (in_word) close();
                             return;
                         }
                         if (!in_word) first = piece;
                         in_word = true;
                         last = piece;
                     });
        if (in_word) close();
        count_to(chunk.offset + chunk.length);
        out.push_back(std::move(words));
    }
    return out;
}

}  // namespace zelvan_tts
