// UTF-8 <-> UTF-16 for the Windows calls of the platform layer. Text inside
// the programs is UTF-8; Windows takes and gives UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace zelvan_tts {

// Ill-formed input is not an error: each bad sequence becomes U+FFFD.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace zelvan_tts
