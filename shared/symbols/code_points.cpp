#include "shared/symbols/code_points.h"

namespace zelvan_tts {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

char32_t decode_utf8(std::string_view text, std::size_t& pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t i = pos;
    const unsigned char b = p[i];
    if (b < 0x80) {
        pos += 1;
        return b;
    }
    const std::size_t rest = text.size() - i - 1;
    if ((b & 0xE0) == 0xC0) {
        if (rest >= 1 && is_continuation(p[i + 1])) {
            const char32_t cp = (char32_t(b & 0x1F) << 6) | (p[i + 1] & 0x3F);
            if (cp >= 0x80) {
                pos += 2;
                return cp;
            }
        }
    } else if ((b & 0xF0) == 0xE0) {
        if (rest >= 2 && is_continuation(p[i + 1]) && is_continuation(p[i + 2])) {
            const char32_t cp = (char32_t(b & 0x0F) << 12) | (char32_t(p[i + 1] & 0x3F) << 6) |
                                (p[i + 2] & 0x3F);
            if ((cp >= 0x800 && cp < 0xD800) || (cp >= 0xE000 && cp <= 0xFFFF)) {
                pos += 3;
                return cp;
            }
        }
    } else if ((b & 0xF8) == 0xF0) {
        if (rest >= 3 && is_continuation(p[i + 1]) && is_continuation(p[i + 2]) &&
            is_continuation(p[i + 3])) {
            const char32_t cp = (char32_t(b & 0x07) << 18) | (char32_t(p[i + 1] & 0x3F) << 12) |
                                (char32_t(p[i + 2] & 0x3F) << 6) | (p[i + 3] & 0x3F);
            if (cp >= 0x10000 && cp <= 0x10FFFF) {
                pos += 4;
                return cp;
            }
        }
    }
    pos += 1;
    return kReplacement;
}

std::u32string utf8_to_utf32(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) out.push_back(decode_utf8(text, i));
    return out;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp <= 0x10FFFF) {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        append_utf8(out, kReplacement);  // not a code point: never emit invalid UTF-8
    }
}

std::string utf32_to_utf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char32_t cp : text) append_utf8(out, cp);
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            append_utf8(out, kReplacement);
        } else {
            append_utf8(out, unit);
        }
    }
    return out;
}

char32_t fold_case(char32_t cp) {
    if ((cp >= 0x41 && cp <= 0x5A) || (cp >= 0x410 && cp <= 0x42F)) return cp + 32;
    // Ѐ..Џ (Ё, Є, І, Ї, Ј, Ў among them) to ѐ..џ: their small letters are in
    // the alphabet, so a capital must not be dropped.
    if (cp >= 0x400 && cp <= 0x40F) return cp + 80;
    if (cp >= 0x460 && cp <= 0x4FF && cp % 2 == 0) return cp + 1;
    return cp;
}

std::u32string fold_case_string(std::u32string_view text) {
    std::u32string out(text);
    for (char32_t& cp : out) cp = fold_case(cp);
    return out;
}

std::size_t utf8_char_length(unsigned char b) {
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) return 2;
    if ((b & 0xF0) == 0xE0) return 3;
    if ((b & 0xF8) == 0xF0) return 4;
    return 1;
}

std::string fold_case_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) append_utf8(out, fold_case(decode_utf8(text, pos)));
    return out;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ascii_lower(a) == ascii_lower(b);
}

}  // namespace zelvan_tts
