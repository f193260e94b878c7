// UTF-16 strings as the platform passes them, and copies of them in memory
// from the COM task allocator for out-parameters.
#pragma once

#include "com/sdk.h"

#include <string>
#include <string_view>

namespace zelvan_tts::com {

using wstring = std::basic_string<WCHAR>;
using wstring_view = std::basic_string_view<WCHAR>;

// ASCII or UTF-8 text as UTF-16 (surrogate pairs above U+FFFF).
wstring to_wide(std::string_view utf8);

// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string to_utf8(wstring_view text);

// A null-terminated copy from CoTaskMemAlloc; throws std::bad_alloc when
// the allocator has nothing.
LPWSTR co_task_copy(wstring_view text);

// One code unit lower-cased: ASCII letters and the letters the C library's
// towlower knows in the basic plane.
WCHAR lower_unit(WCHAR c);

// Orders names as the registry does: each code unit lower-cased, then
// compared by value; a prefix sorts first.
struct case_insensitive_less {
    bool operator()(const wstring& a, const wstring& b) const;
};

// Same length and equal code units after lower-casing.
bool equal_ignoring_case(wstring_view a, wstring_view b);

}  // namespace zelvan_tts::com
