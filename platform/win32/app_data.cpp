#include "platform/app_data.h"

#include <windows.h>

#include <shlobj.h>

namespace zelvan_tts {

// The roaming folder as it is now (not the default), for the calling user.
std::optional<std::filesystem::path> app_data_dir() {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        return std::nullopt;
    }
    if (buffer[0] == L'\0') return std::nullopt;
    return std::filesystem::path(buffer);
}

}  // namespace zelvan_tts
