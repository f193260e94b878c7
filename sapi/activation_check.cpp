// Creates the voice engine's classes the way the speech platform does, from
// what registration left in the registry, and reports what it finds.
//
//   activation_check registered <library path>
//       The token-enumerator key names the enumerator class; both classes
//       are created through COM (CoCreateInstance, so from InProcServer32)
//       out of the library at <library path>, and answer as they should.
//   activation_check unregistered
//       Neither class can be created and the token-enumerator key is gone.
//
// Exit code 0 when every check holds, 1 otherwise.
#include "sapi/class_ids.h"
#include "com/com_ptr.h"
#include "com/sdk.h"

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

using namespace zelvan_tts;

constexpr wchar_t kTokenEnumKey[] = L"SOFTWARE\\Microsoft\\Speech\\Voices\\TokenEnums\\ZelvanTTS";

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    if (!ok) ++failures;
}

// A REG_SZ value in the 64-bit view of HKEY_LOCAL_MACHINE; empty when absent.
std::wstring machine_string(const std::wstring& key, const wchar_t* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      &handle) != ERROR_SUCCESS) {
        return std::wstring();
    }
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);  // room for a terminating null
    const LSTATUS status = RegGetValueW(handle, nullptr, name, RRF_RT_REG_SZ, nullptr, data, &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS ? std::wstring(data) : std::wstring();
}

std::wstring braced(REFCLSID clsid) {
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    return text;
}

// The file of the module that holds an object's code (its vtable).
std::wstring module_of(IUnknown* object) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            *reinterpret_cast<LPCWSTR*>(object), &module)) {
        return std::wstring();
    }
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH * 4);
    return std::wstring(path, length);
}

bool same_path(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void check_registered(const std::wstring& library) {
    const std::wstring enum_clsid_text = machine_string(kTokenEnumKey, L"CLSID");
    CLSID enum_clsid = {};
    check(SUCCEEDED(CLSIDFromString(enum_clsid_text.c_str(), &enum_clsid)) &&
              enum_clsid == sapi::CLSID_ZelvanTokenEnum,
          "the token-enumerator key names the enumerator class");

    for (const CLSID* clsid : {&sapi::CLSID_ZelvanTokenEnum, &sapi::CLSID_ZelvanEngine}) {
        const std::wstring server =
            L"Software\\Classes\\CLSID\\" + braced(*clsid) + L"\\InProcServer32";
        check(same_path(machine_string(server, nullptr), library),
              "InProcServer32 names the library");
    }

    com::ptr<IEnumSpObjectTokens> enumerator;
    check(CoCreateInstance(enum_clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IEnumSpObjectTokens,
                           enumerator.receive_void()) == S_OK,
          "the enumerator is created through COM");
    if (enumerator) {
        ULONG count = 0;
        check(enumerator->GetCount(&count) == S_OK && count == 60, "the enumerator counts 60");
        check(same_path(module_of(enumerator.get()), library),
              "the enumerator comes from the registered library");
    }

    com::ptr<ISpTTSEngine> engine;
    check(CoCreateInstance(sapi::CLSID_ZelvanEngine, nullptr, CLSCTX_INPROC_SERVER,
                           IID_ISpTTSEngine, engine.receive_void()) == S_OK,
          "the engine is created through COM");
    if (engine) {
        com::ptr<ISpObjectWithToken> with_token;
        check(engine->QueryInterface(IID_ISpObjectWithToken, with_token.receive_void()) == S_OK,
              "the engine takes a voice token");
        GUID format_id = {};
        WAVEFORMATEX* format = nullptr;
        check(engine->GetOutputFormat(nullptr, nullptr, &format_id, &format) == S_OK &&
                  format != nullptr && format->nSamplesPerSec == 48000,
              "the engine speaks 48000 Hz");
        CoTaskMemFree(format);
        check(same_path(module_of(engine.get()), library),
              "the engine comes from the registered library");
    }
}

void check_unregistered() {
    check(machine_string(kTokenEnumKey, L"CLSID").empty(), "no token-enumerator key");
    for (const CLSID* clsid : {&sapi::CLSID_ZelvanTokenEnum, &sapi::CLSID_ZelvanEngine}) {
        com::ptr<IUnknown> object;
        check(CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.receive_void()) == REGDB_E_CLASSNOTREG,
              "the class is not registered");
    }
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    if (mode == L"registered" && argc == 3) {
        check_registered(argv[2]);
    } else if (mode == L"unregistered" && argc == 2) {
        check_unregistered();
    } else {
        std::printf("usage: activation_check registered <library> | unregistered\n");
        failures = 1;
    }
    // The objects are gone; the library may go before COM does.
    CoFreeUnusedLibraries();
    CoUninitialize();
    LocalFree(argv);
    return failures == 0 ? 0 : 1;
}
