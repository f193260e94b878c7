#include "platform/module_path.h"

#include <windows.h>

#include <string>

namespace zelvan_tts {

namespace {

// An address inside this module: a static function is linked into whichever
// program or library carries this code.
void anchor() {}

}  // namespace

std::filesystem::path running_module_file() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&anchor), &module)) {
        return {};
    }
    // MAX_PATH is enough for most installations; a deeper one gets a larger
    // buffer rather than a cut-off name.
    std::wstring name(MAX_PATH, L'\0');
    while (true) {
        const DWORD length =
            GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name);
        }
        if (name.size() >= 32768) return {};  // longer than any Windows path
        name.resize(name.size() * 2);
    }
}

}  // namespace zelvan_tts
