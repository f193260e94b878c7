#include "engine/text_chunks.h"

#include "shared/symbols/code_points.h"

namespace zelvan_tts {

namespace {

bool is_break_space(char c) { return c == ' ' || c == '\n' || c == '\t'; }

void trim_trailing_space(std::string& s) {
    while (!s.empty() && is_break_space(s.back())) s.pop_back();
}

// Appends the trimmed piece when anything is left of it, and clears it.
void take_piece(std::string& piece, std::vector<std::string>& out) {
    trim_trailing_space(piece);
    if (!piece.empty()) out.push_back(std::move(piece));
    piece.clear();
}

std::size_t count_code_points(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size();
         i += utf8_char_length(static_cast<unsigned char>(text[i]))) {
        ++count;
    }
    return count;
}

}  // namespace

std::vector<std::string> split_sentences(std::string_view text) {
    std::vector<std::string> sentences;
    std::string current;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        current.push_back(c);
        ++i;
        const bool terminator = c == '.' || c == '!' || c == '?';
        if (terminator && i < text.size() && is_break_space(text[i])) {
            take_piece(current, sentences);
            while (i < text.size() && is_break_space(text[i])) ++i;
        }
    }
    take_piece(current, sentences);
    return sentences;
}

std::vector<std::string> split_into_chunks(std::string_view text, std::size_t max_chars) {
    std::vector<std::string> chunks;
    for (std::string& sentence : split_sentences(text)) {
        if (count_code_points(sentence) <= max_chars) {
            chunks.push_back(std::move(sentence));
            continue;
        }
        std::string piece;
        std::size_t bytes_since_cut = 0;
        for (char c : sentence) {
            piece.push_back(c);
            ++bytes_since_cut;
            if ((c == ',' || c == ';' || c == ':') && bytes_since_cut >= max_chars) {
                take_piece(piece, chunks);
                bytes_since_cut = 0;
            }
        }
        take_piece(piece, chunks);
    }
    return chunks;
}

}  // namespace zelvan_tts
