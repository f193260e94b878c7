#include "platform/model_path_setting.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

#include <string_view>

namespace zelvan_tts {

namespace {

// The value is read into 260 UTF-16 units (520 bytes, room for a path of
// MAX_PATH with its NUL); a longer value counts as absent.
constexpr DWORD kValueBytes = 520;

}  // namespace

std::optional<std::string> read_model_path_setting() {
    HKEY key = nullptr;
    // The installer writes the 64-bit view; a 32-bit engine reads that too.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZelvanTTS", 0, KEY_READ | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t buffer[kValueBytes / sizeof(wchar_t)] = {};
    DWORD size = kValueBytes;
    // Whatever the value's type, its bytes are taken as UTF-16 text.
    const LONG status = RegQueryValueExW(key, L"ModelPath", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    // Up to the first NUL, or all that was read when there is none.
    const std::wstring_view data(buffer, size / sizeof(wchar_t));
    return narrow(data.substr(0, data.find(L'\0')));
}

}  // namespace zelvan_tts
