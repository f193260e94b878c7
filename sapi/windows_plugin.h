// The voice-engine library as the Windows tests use it: the copy beside the
// test program, loaded for one test and unloaded after it, and driven only
// through its entry points, as COM drives it.
#pragma once

#include "com/com_ptr.h"
#include "com/sdk.h"

#include <string>

namespace zelvan_tts::sapi_test {

// COM on the calling thread (multithreaded apartment) while it lives.
class com_apartment {
public:
    com_apartment();
    ~com_apartment();
    com_apartment(const com_apartment&) = delete;
    com_apartment& operator=(const com_apartment&) = delete;
    bool ok() const { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};

class windows_plugin {
public:
    // Loads the library; loaded() tells whether that worked and every entry
    // point was found.
    windows_plugin();
    // Unloads the library once nothing of it is alive any more, and reports
    // a failure when that never happens or the library stays in memory.
    ~windows_plugin();
    windows_plugin(const windows_plugin&) = delete;
    windows_plugin& operator=(const windows_plugin&) = delete;

    bool loaded() const;

    HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) const;
    HRESULT DllCanUnloadNow() const;

    // DllCanUnloadNow polled until it gives S_OK (the engine's background
    // preload ends on its own) or 60 s pass.
    bool idle() const;

    // A new object of `clsid` made by its class factory, as `riid` (the id
    // of T); null when any step fails.
    template <class T>
    com::ptr<T> create(REFCLSID clsid, REFIID riid) const {
        com::ptr<T> object;
        create_into(clsid, riid, object.receive_void());
        return object;
    }

    // Full path of the library file.
    static std::wstring path();

private:
    void create_into(REFCLSID clsid, REFIID riid, void** object) const;

    using get_class_object_fn = HRESULT(STDMETHODCALLTYPE*)(REFCLSID, REFIID, void**);
    using can_unload_now_fn = HRESULT(STDMETHODCALLTYPE*)();

    HMODULE module_ = nullptr;
    get_class_object_fn get_class_object_ = nullptr;
    can_unload_now_fn can_unload_now_ = nullptr;
};

}  // namespace zelvan_tts::sapi_test
