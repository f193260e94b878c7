#include "engine/text_blocks.h"

#include <algorithm>

namespace zelvan_tts {

namespace {

bool is_sentence_space(char c) { return c == ' ' || c == '\n' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::size_t text_block_end(std::string_view text, std::size_t begin) {
    const std::size_t limit = std::min(text.size(), begin + kMaxTextBlockBytes);
    const auto skip_space = [&](std::size_t i) {
        while (i < text.size() && is_sentence_space(text[i])) ++i;
        return i;
    };
    std::size_t last_space = begin;
    for (std::size_t i = begin; i < limit; ++i) {
        const char c = text[i];
        if (is_sentence_space(c)) {
            last_space = i;
            continue;
        }
        const bool sentence_end = (c == '.' || c == '!' || c == '?') && i + 1 < text.size() &&
                                  is_sentence_space(text[i + 1]);
        if (sentence_end && i + 1 - begin >= kTextBlockBytes) return skip_space(i + 1);
    }
    if (limit == text.size()) return limit;
    if (last_space > begin) return skip_space(last_space);
    // No white space at all: a character boundary, outside a number if it can.
    std::size_t cut = limit;
    while (cut > begin + 1 && is_continuation(text[cut])) --cut;
    std::size_t outside = cut;
    while (outside > begin + 1 && is_digit(text[outside - 1]) && is_digit(text[outside])) --outside;
    return outside > begin + 1 ? outside : cut;
}

}  // namespace zelvan_tts
