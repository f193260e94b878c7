#include "sapi/windows_plugin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace zelvan_tts::sapi_test {

namespace {

// An export as the function type it has; through void (*)() because
// GetProcAddress's own type says nothing of the real one.
template <class Function>
Function entry_point(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

com_apartment::com_apartment() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}

com_apartment::~com_apartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
}

std::wstring windows_plugin::path() {
    wchar_t program[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH * 4);
    std::wstring folder(program, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    const char* name = PLUGIN_FILE_NAME;
    return folder + std::wstring(name, name + std::char_traits<char>::length(name));
}

windows_plugin::windows_plugin() {
    module_ = LoadLibraryW(path().c_str());
    if (module_ == nullptr) {
        ADD_FAILURE() << "cannot load the library, error " << GetLastError();
        return;
    }
    get_class_object_ = entry_point<get_class_object_fn>(module_, "DllGetClassObject");
    can_unload_now_ = entry_point<can_unload_now_fn>(module_, "DllCanUnloadNow");
}

windows_plugin::~windows_plugin() {
    if (module_ == nullptr) return;
    if (!idle()) {
        // Objects of the library are still alive: unloading would pull their
        // code from under them.
        ADD_FAILURE() << "the library never became idle";
        return;
    }
    FreeLibrary(module_);
    EXPECT_EQ(GetModuleHandleW(path().c_str()), nullptr) << "the library stayed loaded";
}

bool windows_plugin::loaded() const {
    return module_ != nullptr && get_class_object_ != nullptr && can_unload_now_ != nullptr &&
           GetProcAddress(module_, "DllRegisterServer") != nullptr &&
           GetProcAddress(module_, "DllUnregisterServer") != nullptr;
}

HRESULT windows_plugin::DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) const {
    return get_class_object_(clsid, riid, object);
}

HRESULT windows_plugin::DllCanUnloadNow() const { return can_unload_now_(); }

bool windows_plugin::idle() const {
    // Once an object has been found to outlive every wait, the library stays
    // loaded for good: later tests need not wait for it again.
    static bool stuck = false;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(stuck ? 0 : 60);
    while (DllCanUnloadNow() != S_OK) {
        if (std::chrono::steady_clock::now() > give_up) {
            stuck = true;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void windows_plugin::create_into(REFCLSID clsid, REFIID riid, void** object) const {
    com::ptr<IClassFactory> factory;
    if (FAILED(DllGetClassObject(clsid, IID_IClassFactory, factory.receive_void()))) return;
    factory->CreateInstance(nullptr, riid, object);
}

}  // namespace zelvan_tts::sapi_test
