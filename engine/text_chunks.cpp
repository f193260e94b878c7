#include "engine/text_chunks.h"

#include "shared/symbols/code_points.h"

#include <algorithm>

namespace zelvan_tts {

namespace {

bool is_break_space(char c) { return c == ' ' || c == '\n' || c == '\t'; }

// Whether the word that ends at byte `end` of `text` ends where a reader
// takes a breath: a phrase mark, a closing bracket or quote, a dash or an
// ellipsis.
bool ends_phrase(std::string_view text, std::size_t end) {
    const std::string_view head = text.substr(0, end);
    if (head.empty()) return false;
    if (std::string_view(",;:.!?)\"").find(head.back()) != std::string_view::npos) return true;
    for (const std::string_view mark : {"\u2014", "\u2013", "\u2026", "\u00BB"}) {
        if (head.size() >= mark.size() && head.substr(head.size() - mark.size()) == mark)
            return true;
    }
    return false;
}

// The span [begin, end) without its trailing white space, appended when
// anything is left.
void take_span(std::string_view text, std::size_t begin, std::size_t end,
               std::vector<TextSpan>& out) {
    while (end > begin && is_break_space(text[end - 1])) --end;
    if (end > begin) out.push_back({begin, end - begin});
}

std::size_t count_code_points(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size();
         i += utf8_char_length(static_cast<unsigned char>(text[i]))) {
        ++count;
    }
    return count;
}

std::vector<TextSpan> sentence_spans(std::string_view text) {
    std::vector<TextSpan> sentences;
    std::size_t begin = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        ++i;
        const bool terminator = c == '.' || c == '!' || c == '?';
        if (terminator && i < text.size() && is_break_space(text[i])) {
            take_span(text, begin, i, sentences);
            while (i < text.size() && is_break_space(text[i])) ++i;
            begin = i;
        }
    }
    take_span(text, begin, i, sentences);
    return sentences;
}

std::vector<std::string> strings_of(std::string_view text, const std::vector<TextSpan>& spans) {
    std::vector<std::string> out;
    out.reserve(spans.size());
    for (const TextSpan& s : spans) out.emplace_back(text.substr(s.offset, s.length));
    return out;
}

}  // namespace

std::vector<std::string> split_sentences(std::string_view text) {
    return strings_of(text, sentence_spans(text));
}

std::vector<TextSpan> split_into_chunk_spans(std::string_view text, std::size_t max_chars) {
    const std::size_t bound = std::max<std::size_t>(max_chars, 1);
    constexpr std::size_t none = std::string_view::npos;
    std::vector<TextSpan> chunks;
    for (const TextSpan& sentence : sentence_spans(text)) {
        if (count_code_points(text.substr(sentence.offset, sentence.length)) <= max_chars) {
            chunks.push_back(sentence);
            continue;
        }
        const std::size_t end = sentence.offset + sentence.length;
        std::size_t begin = sentence.offset;
        std::size_t count = 0;            // code points since the piece's first non-blank
        std::size_t last_blank = none;    // white space after a word of the piece
        std::size_t last_breath = none;   // ... after a phrase mark, in its second half
        const auto start_piece = [&](std::size_t at) {
            begin = at;
            count = 0;
            last_blank = last_breath = none;
        };
        std::size_t i = begin;
        while (i < end) {
            const char c = text[i];
            if ((c == ',' || c == ';' || c == ':') && i + 1 - begin >= max_chars) {
                take_span(text, begin, i + 1, chunks);
                start_piece(i + 1);
                i = begin;
                continue;
            }
            if (count == bound) {
                // The piece is full: cut where a reader would breathe, else
                // between words, else (a run without white space) right here.
                std::size_t cut = last_breath != none ? last_breath
                                  : last_blank != none ? last_blank
                                                       : i;
                take_span(text, begin, cut, chunks);
                while (cut < end && is_break_space(text[cut])) ++cut;
                start_piece(cut);
                i = begin;
                continue;
            }
            const bool blank = is_break_space(c);
            if (blank && count > 0 && !is_break_space(text[i - 1])) {
                last_blank = i;
                if (count * 2 >= bound && ends_phrase(text, i)) last_breath = i;
            }
            i += std::min<std::size_t>(utf8_char_length(static_cast<unsigned char>(c)), end - i);
            if (count > 0 || !blank) ++count;
        }
        take_span(text, begin, end, chunks);
    }
    return chunks;
}

std::vector<std::string> split_into_chunks(std::string_view text, std::size_t max_chars) {
    return strings_of(text, split_into_chunk_spans(text, max_chars));
}

}  // namespace zelvan_tts
