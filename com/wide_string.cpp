#include "com/wide_string.h"

#include "shared/symbols/code_points.h"

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <new>

namespace zelvan_tts::com {

wstring to_wide(std::string_view utf8) {
    wstring out;
    for (char32_t c : utf8_to_utf32(utf8)) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<WCHAR>(0xD800 + (c >> 10)));
            out.push_back(static_cast<WCHAR>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<WCHAR>(c));
        }
    }
    return out;
}

std::string to_utf8(wstring_view text) {
    return utf16_to_utf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

LPWSTR co_task_copy(wstring_view text) {
    auto* out = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
    if (out == nullptr) throw std::bad_alloc();
    if (!text.empty()) std::memcpy(out, text.data(), text.size() * sizeof(WCHAR));
    out[text.size()] = 0;
    return out;
}

WCHAR lower_unit(WCHAR c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<WCHAR>(c + 32) : c;
    if (c >= 0xD800 && c <= 0xDFFF) return c;
    // wint_t is 16 bits wide on Windows and 32 bits elsewhere.
    const auto lowered = static_cast<std::uint32_t>(std::towlower(static_cast<wint_t>(c)));
    return lowered <= 0xFFFF ? static_cast<WCHAR>(lowered) : c;
}

bool case_insensitive_less::operator()(const wstring& a, const wstring& b) const {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const WCHAR x = lower_unit(a[i]);
        const WCHAR y = lower_unit(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

bool equal_ignoring_case(wstring_view a, wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower_unit(a[i]) != lower_unit(b[i])) return false;
    }
    return true;
}

}  // namespace zelvan_tts::com
