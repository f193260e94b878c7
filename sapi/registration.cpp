#include "sapi/registration.h"

#include "sapi/class_ids.h"
#include "com/registry.h"

namespace zelvan_tts::sapi {

namespace {

using com::to_wide;

// Every key in the 64-bit view, as a 64-bit library sees it by default.
constexpr REGSAM kView = KEY_WOW64_64KEY;

void register_class(REFCLSID clsid, const com::wstring& path) {
    const registry::key classes = registry::open_key(
        HKEY_LOCAL_MACHINE, to_wide("Software\\Classes\\CLSID"), KEY_CREATE_SUB_KEY | kView, false);
    const registry::key class_key = registry::open_key(classes.get(), registry::clsid_string(clsid),
                                                       KEY_CREATE_SUB_KEY | kView, true);
    const registry::key server =
        registry::open_key(class_key.get(), to_wide("InProcServer32"), KEY_SET_VALUE | kView, true);
    registry::set_string_value(server.get(), com::wstring(), path);
    registry::set_string_value(server.get(), to_wide("ThreadingModel"), to_wide("Both"));
}

void register_token_enum(const com::wstring& name, const com::wstring& description) {
    const registry::key microsoft = registry::open_key(
        HKEY_LOCAL_MACHINE, to_wide("SOFTWARE\\Microsoft"), KEY_CREATE_SUB_KEY | kView, true);
    const registry::key speech =
        registry::open_key(microsoft.get(), to_wide("Speech"), KEY_CREATE_SUB_KEY | kView, true);
    const registry::key voices =
        registry::open_key(speech.get(), to_wide("Voices"), KEY_CREATE_SUB_KEY | kView, true);
    const registry::key token_enums =
        registry::open_key(voices.get(), to_wide("TokenEnums"), KEY_CREATE_SUB_KEY | kView, true);
    const registry::key entry =
        registry::open_key(token_enums.get(), name, KEY_SET_VALUE | kView, true);
    registry::set_string_value(entry.get(), com::wstring(), description);
    registry::set_string_value(entry.get(), to_wide("CLSID"),
                               registry::clsid_string(CLSID_ZelvanTokenEnum));
}

void unregister_class(REFCLSID clsid) {
    const registry::key classes = registry::open_key(
        HKEY_LOCAL_MACHINE, to_wide("Software\\Classes\\CLSID"), KEY_READ | kView, false);
    const com::wstring name = registry::clsid_string(clsid);
    {
        const registry::key class_key =
            registry::open_key(classes.get(), name, KEY_READ | kView, false);
        registry::delete_key(class_key.get(), to_wide("InProcServer32"));
    }
    registry::delete_key(classes.get(), name);
}

}  // namespace

void register_server() {
    const com::wstring path = registry::module_path();
    register_class(CLSID_ZelvanTokenEnum, path);
    register_class(CLSID_ZelvanEngine, path);
    register_token_enum(to_wide("ZelvanTTS"), to_wide("Zelvan TTS Voices"));
}

void unregister_server() noexcept {
    try {
        registry::module_path();
    } catch (...) {
        return;
    }
    try {
        const registry::key token_enums = registry::open_key(
            HKEY_LOCAL_MACHINE, to_wide("SOFTWARE\\Microsoft\\Speech\\Voices\\TokenEnums"),
            KEY_READ | kView, false);
        registry::delete_key(token_enums.get(), to_wide("ZelvanTTS"));
    } catch (...) {
        // Not registered, or not allowed: the next step runs all the same.
    }
    for (const CLSID* clsid : {&CLSID_ZelvanTokenEnum, &CLSID_ZelvanEngine}) {
        try {
            unregister_class(*clsid);
        } catch (...) {
        }
    }
}

}  // namespace zelvan_tts::sapi
