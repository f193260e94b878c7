#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace zelvan_tts {

void* load_library(const std::filesystem::path& file, std::string& error) {
    // RTLD_NODELETE: a stray dlclose never unmaps it.
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "unknown error";
    }
    return library;
}

void* library_symbol(void* library, const char* name) { return dlsym(library, name); }

}  // namespace zelvan_tts
