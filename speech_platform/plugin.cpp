#include "speech_platform/plugin.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>

namespace zelvan_tts::speech_platform {

namespace {

template <class F>
void resolve(void* handle, const char* name, F& out, const std::string& path) {
    out = reinterpret_cast<F>(dlsym(handle, name));
    if (out == nullptr) {
        throw std::runtime_error("The voice engine " + path + " does not export " + name);
    }
}

}  // namespace

plugin::plugin(const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    path_ = ec ? path : absolute.string();
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw std::runtime_error("Cannot load the voice engine " + path_ + ": " +
                                 (reason != nullptr ? reason : "unknown error"));
    }
    try {
        resolve(handle_, "DllGetClassObject", DllGetClassObject, path_);
        resolve(handle_, "DllCanUnloadNow", DllCanUnloadNow, path_);
        resolve(handle_, "DllRegisterServer", DllRegisterServer, path_);
        resolve(handle_, "DllUnregisterServer", DllUnregisterServer, path_);
    } catch (...) {
        dlclose(handle_);
        throw;
    }
}

plugin::~plugin() {
    if (DllCanUnloadNow() == S_OK) dlclose(handle_);
}

}  // namespace zelvan_tts::speech_platform
