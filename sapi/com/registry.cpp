#include "sapi/com/registry.h"

#include "platform/module_path.h"
#include "sapi/com/com_error.h"
#include "sapi/com/out_ptr.h"

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
    if (RegDeleteKeyW(parent, subkey.c_str()) != ERROR_SUCCESS) {
        throw error("Unable to delete a registry key");
    }
}

com::wstring module_path() {
    const std::string path = running_module_file().string();
    if (path.empty()) throw std::runtime_error("Unable to get the path of the dll");
    return com::to_wide(path);
}

com::wstring clsid_string(REFCLSID clsid) {
    utils::out_ptr text(&CoTaskMemFree);
    const HRESULT hr = StringFromCLSID(clsid, text.receive());
    if (FAILED(hr)) throw com::com_error(hr);
    if (text.get() == nullptr) throw com::com_error(E_UNEXPECTED);
    return com::wstring(text.get());
}

}  // namespace zelvan_tts::registry
