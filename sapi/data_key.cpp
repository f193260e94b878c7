#include "sapi/data_key.h"

#include "com/com_error.h"

#include <iterator>

namespace zelvan_tts::sapi {

// The keys are read-only: writes and deletions fail without side effects.
HRESULT ISpDataKeyImpl::SetData(LPCWSTR, ULONG, const BYTE*) { return E_NOTIMPL; }
HRESULT ISpDataKeyImpl::GetData(LPCWSTR, ULONG*, BYTE*) { return SPERR_NOT_FOUND; }
HRESULT ISpDataKeyImpl::SetStringValue(LPCWSTR, LPCWSTR) { return E_NOTIMPL; }
HRESULT ISpDataKeyImpl::SetDWORD(LPCWSTR, DWORD) { return E_NOTIMPL; }
HRESULT ISpDataKeyImpl::GetDWORD(LPCWSTR, DWORD*) { return E_NOTIMPL; }
HRESULT ISpDataKeyImpl::CreateKey(LPCWSTR, ISpDataKey**) { return E_NOTIMPL; }
HRESULT ISpDataKeyImpl::DeleteKey(LPCWSTR) { return E_NOTIMPL; }
HRESULT ISpDataKeyImpl::DeleteValue(LPCWSTR) { return E_NOTIMPL; }
HRESULT ISpDataKeyImpl::OpenKey(LPCWSTR, ISpDataKey**) { return SPERR_NOT_FOUND; }
HRESULT ISpDataKeyImpl::EnumKeys(ULONG, LPWSTR*) { return SPERR_NO_MORE_ITEMS; }

HRESULT ISpDataKeyImpl::GetStringValue(LPCWSTR value_name, LPWSTR* value) {
    if (value == nullptr) return E_POINTER;
    *value = nullptr;
    return com::guarded([&] {
        if (value_name == nullptr) {
            *value = com::co_task_copy(default_value);
            return S_OK;
        }
        const auto it = values.find(com::wstring(value_name));
        if (it == values.end()) return SPERR_NOT_FOUND;
        *value = com::co_task_copy(it->second);
        return S_OK;
    });
}

HRESULT ISpDataKeyImpl::EnumValues(ULONG index, LPWSTR* value_name) {
    if (index >= values.size()) return SPERR_NO_MORE_ITEMS;
    if (value_name == nullptr) return E_POINTER;
    *value_name = nullptr;
    return com::guarded([&] {
        *value_name = com::co_task_copy(std::next(values.begin(), index)->first);
        return S_OK;
    });
}

void* ISpDataKeyImpl::interface_for(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_ISpDataKey) return static_cast<ISpDataKey*>(this);
    return nullptr;
}

}  // namespace zelvan_tts::sapi
