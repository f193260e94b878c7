// A voice-engine library loaded the way the platform loads it, with its four
// entry points.
#pragma once

#include "com/sdk.h"

#include <string>

namespace zelvan_tts::speech_platform {

class plugin {
public:
    // Throws std::runtime_error naming the library and the loader's reason.
    explicit plugin(const std::string& path);
    // Unloads the library when it allows it; otherwise it stays loaded.
    ~plugin();
    plugin(const plugin&) = delete;
    plugin& operator=(const plugin&) = delete;

    const std::string& path() const { return path_; }

    HRESULT (*DllGetClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT (*DllCanUnloadNow)() = nullptr;
    HRESULT (*DllRegisterServer)() = nullptr;
    HRESULT (*DllUnregisterServer)() = nullptr;

private:
    std::string path_;
    void* handle_ = nullptr;
};

}  // namespace zelvan_tts::speech_platform
