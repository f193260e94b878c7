#include "platform/dynamic_library.h"

#include <windows.h>

namespace zelvan_tts {

void* load_library(const std::filesystem::path& file, std::string& error) {
    // A path with a folder loads that file and finds its own DLLs beside it.
    const DWORD flags = file.has_parent_path() ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
    HMODULE library = LoadLibraryExW(file.c_str(), nullptr, flags);
    if (library == nullptr) error = "error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(library);
}

void* library_symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace zelvan_tts
