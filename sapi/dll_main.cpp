// The library's entry points: load and unload, class objects, and
// self-registration. No exception leaves through any of them.
#include "sapi/class_ids.h"
#include "com/class_object_factory.h"
#include "com/com_error.h"
#include "com/iunknown_impl.h"
#include "sapi/registration.h"
#include "sapi/token_enumerator.h"
#include "sapi/tts_base.h"
#include "sapi/tts_engine.h"

#include <memory>
#include <new>

#ifndef _WIN32
#include <pthread.h>
#endif
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#ifdef _WIN32
// The exports are listed in zelvan_tts_sapi.def.
#define ZELVAN_EXPORT extern "C"
#else
#define ZELVAN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace zelvan_tts::sapi {

namespace {

HRESULT make_enumerator(REFIID riid, void** object) {
    return com::create_and_query<IEnumSpObjectTokensImpl>(riid, object);
}

HRESULT make_engine(REFIID riid, void** object) {
    return com::create_and_query<ISpTTSEngineImpl>(riid, object);
}

// Fills the creator list; false when that failed and the load must fail.
bool process_attach() noexcept {
    try {
        auto& list = com::class_object_factory::creators();
        list.clear();
        list.push_back(std::make_shared<com::class_object_factory::concrete_creator>(
            CLSID_ZelvanTokenEnum, &make_enumerator));
        list.push_back(std::make_shared<com::class_object_factory::concrete_creator>(
            CLSID_ZelvanEngine, &make_engine));
        return true;
    } catch (...) {
        return false;
    }
}

// The library is being unloaded: the model goes with it.
void process_detach() noexcept {
    finish_preloads();
    tts_base::shutdown();
}

}  // namespace

}  // namespace zelvan_tts::sapi

using namespace zelvan_tts;

#ifdef _WIN32

// The module path is found from an address inside the library when it is
// needed (registry::module_path), so the handle is not kept here.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(instance);
            return sapi::process_attach() ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            // A non-null `reserved` means the process is ending: the other
            // libraries (LibTorch among them) may be gone already, so only a
            // real unload (FreeLibrary) releases the model.
            if (reserved == nullptr) sapi::process_detach();
            return TRUE;
        default:
            return TRUE;
    }
}

#else

extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* dso_handle);

namespace {

// Locked by the C library when the process exits. It lives on the heap and
// the exit handler is the C library's own, so both outlast an unload of this
// library.
pthread_mutex_t* process_exiting = nullptr;

}  // namespace

// The loader's counterparts of the load and unload notifications. A library
// cannot refuse its load here; with an empty creator list it serves nothing.
__attribute__((constructor)) static void zelvan_sapi_loaded() {
    process_exiting = new (std::nothrow) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER);
#if defined(__SANITIZE_ADDRESS__)
    // Immortal on purpose: it must outlive an unload of this library.
    if (process_exiting != nullptr) __lsan_ignore_object(process_exiting);
#endif
    if (process_exiting != nullptr) {
        __cxa_atexit(
            reinterpret_cast<void (*)(void*)>(reinterpret_cast<void (*)()>(&pthread_mutex_lock)),
            process_exiting, nullptr);
    }
    sapi::process_attach();
}

// As on Windows, only a real unload releases the model: at process exit the
// libraries the model lives in may already be torn down.
__attribute__((destructor)) static void zelvan_sapi_unloaded() {
    if (process_exiting == nullptr || pthread_mutex_trylock(process_exiting) != 0) return;
    pthread_mutex_unlock(process_exiting);
    sapi::process_detach();
}

#endif

ZELVAN_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                          void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    return com::guarded(
        [&] { return com::class_object_factory::get_class_object(clsid, riid, object); });
}

ZELVAN_EXPORT HRESULT STDMETHODCALLTYPE DllCanUnloadNow() {
    return com::live_objects.load() == 0 ? S_OK : S_FALSE;
}

ZELVAN_EXPORT HRESULT STDMETHODCALLTYPE DllRegisterServer() {
    const HRESULT hr = com::guarded([] {
        sapi::register_server();
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    // A model loaded in the registering process is released.
    sapi::tts_base::shutdown();
    return S_OK;
}

ZELVAN_EXPORT HRESULT STDMETHODCALLTYPE DllUnregisterServer() {
    sapi::unregister_server();
    sapi::tts_base::shutdown();
    return S_OK;
}
