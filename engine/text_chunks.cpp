#include "engine/text_chunks.h"

#include "shared/symbols/code_points.h"

namespace zelvan_tts {

namespace {

bool is_break_space(char c) { return c == ' ' || c == '\n' || c == '\t'; }

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
    std::vector<TextSpan> chunks;
    for (const TextSpan& sentence : sentence_spans(text)) {
        if (count_code_points(text.substr(sentence.offset, sentence.length)) <= max_chars) {
            chunks.push_back(sentence);
            continue;
        }
        const std::size_t end = sentence.offset + sentence.length;
        std::size_t begin = sentence.offset;
        for (std::size_t i = sentence.offset; i < end; ++i) {
            const char c = text[i];
            if ((c == ',' || c == ';' || c == ':') && i + 1 - begin >= max_chars) {
                take_span(text, begin, i + 1, chunks);
                begin = i + 1;
            }
        }
        take_span(text, begin, end, chunks);
    }
    return chunks;
}

std::vector<std::string> split_into_chunks(std::string_view text, std::size_t max_chars) {
    return strings_of(text, split_into_chunk_spans(text, max_chars));
}

}  // namespace zelvan_tts
