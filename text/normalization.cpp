#include "text/normalization.h"

#include "shared/symbols/languages.h"

namespace zelvan_tts {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string expand_numbers(const Num2Words& converter, std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    const std::size_t size = text.size();
    std::size_t copied = 0;  // text before this position is already in out
    std::size_t pos = 0;
    while (pos < size) {
        const char c = text[pos];
        const bool starts_number =
            is_digit(c) || (c == '-' && pos + 1 < size && is_digit(text[pos + 1]));
        if (!starts_number) {
            ++pos;
            continue;
        }
        std::size_t end = (c == '-') ? pos + 1 : pos;
        while (end < size && is_digit(text[end])) ++end;
        out.append(text.data() + copied, pos - copied);
        out += converter.convert(text.substr(pos, end - pos));
        pos = end;
        copied = end;
    }
    out.append(text.data() + copied, size - copied);
    return out;
}

std::string normalize_numbers(std::string_view text, std::string_view lang) {
    if (language_profile(lang).numbers == NumberReader::Georgian)
        return expand_numbers(Num2WordsKa::instance(), text);
    return expand_numbers(Num2WordsRu::instance(), text);
}

}  // namespace zelvan_tts
