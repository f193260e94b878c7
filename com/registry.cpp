#include "com/registry.h"

#include "platform/module_path.h"
#include "com/com_error.h"
#include "com/out_ptr.h"

#include <filesystem>

namespace zelvan_tts::registry {

key open_key(HKEY parent, const com::wstring& subkey, REGSAM access, bool create) {
    HKEY result = nullptr;
    const LSTATUS status =
        create ? RegCreateKeyExW(parent, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 access, nullptr, &result, nullptr)
               : RegOpenKeyExW(parent, subkey.c_str(), 0, access, &result);
    if (status != ERROR_SUCCESS) throw error("Unable to open/create a registry key");
    return key(result);
}

void set_string_value(HKEY key, const com::wstring& name, const com::wstring& data) {
    const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(WCHAR));
    if (RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       size) != ERROR_SUCCESS) {
        throw error("Unable to write a value in the registry");
    }
}

void delete_key(HKEY parent, const com::wstring& subkey) {
#ifdef _WIN32
    // The view is named on the deletion itself: the parent handle's view
    // does not carry over to the subkey.
    const LSTATUS status = RegDeleteKeyExW(parent, subkey.c_str(), KEY_WOW64_64KEY, 0);
#else
    const LSTATUS status = RegDeleteKeyW(parent, subkey.c_str());
#endif
    if (status != ERROR_SUCCESS) throw error("Unable to delete a registry key");
}

com::wstring module_path() {
    const std::filesystem::path path = running_module_file();
    if (path.empty()) throw std::runtime_error("Unable to get the path of the dll");
#ifdef _WIN32
    // The file system's own UTF-16 name; a narrow detour through the ANSI
    // code page would lose every character outside it.
    return path.wstring();
#else
    return com::to_wide(path.u8string());
#endif
}

com::wstring clsid_string(REFCLSID clsid) {
    utils::out_ptr text(&CoTaskMemFree);
    const HRESULT hr = StringFromCLSID(clsid, text.receive());
    if (FAILED(hr)) throw com::com_error(hr);
    if (text.get() == nullptr) throw com::com_error(E_UNEXPECTED);
    return com::wstring(text.get());
}

}  // namespace zelvan_tts::registry
