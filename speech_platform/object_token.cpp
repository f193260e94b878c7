#include "speech_platform/object_token.h"

#include "speech_platform/com_runtime.h"

#include <new>

namespace zelvan_tts::speech_platform {

namespace {
constexpr HRESULT SPERR_UNINITIALIZED = hresult_of(0x80045001);
constexpr HRESULT SPERR_ALREADY_INITIALIZED = hresult_of(0x80045002);
}  // namespace

object_token::object_token() { live_tokens().fetch_add(1); }

object_token::~object_token() {
    if (data_key_ != nullptr) data_key_->Release();
    live_tokens().fetch_sub(1);
}

HRESULT object_token::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISpDataKey || riid == IID_ISpObjectToken ||
        riid == IID_ISpObjectTokenInit) {
        *object = static_cast<ISpObjectTokenInit*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG object_token::AddRef() { return references_.fetch_add(1) + 1; }

ULONG object_token::Release() {
    const ULONG left = references_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

#define FORWARD(call)                                     \
    if (data_key_ == nullptr) return SPERR_UNINITIALIZED; \
    return data_key_->call

HRESULT object_token::SetData(LPCWSTR n, ULONG s, const BYTE* d) { FORWARD(SetData(n, s, d)); }
HRESULT object_token::GetData(LPCWSTR n, ULONG* s, BYTE* d) { FORWARD(GetData(n, s, d)); }
HRESULT object_token::SetStringValue(LPCWSTR n, LPCWSTR v) { FORWARD(SetStringValue(n, v)); }
HRESULT object_token::GetStringValue(LPCWSTR n, LPWSTR* v) { FORWARD(GetStringValue(n, v)); }
HRESULT object_token::SetDWORD(LPCWSTR n, DWORD v) { FORWARD(SetDWORD(n, v)); }
HRESULT object_token::GetDWORD(LPCWSTR n, DWORD* v) { FORWARD(GetDWORD(n, v)); }
HRESULT object_token::OpenKey(LPCWSTR n, ISpDataKey** k) { FORWARD(OpenKey(n, k)); }
HRESULT object_token::CreateKey(LPCWSTR n, ISpDataKey** k) { FORWARD(CreateKey(n, k)); }
HRESULT object_token::DeleteKey(LPCWSTR n) { FORWARD(DeleteKey(n)); }
HRESULT object_token::DeleteValue(LPCWSTR n) { FORWARD(DeleteValue(n)); }
HRESULT object_token::EnumKeys(ULONG i, LPWSTR* n) { FORWARD(EnumKeys(i, n)); }
HRESULT object_token::EnumValues(ULONG i, LPWSTR* n) { FORWARD(EnumValues(i, n)); }

#undef FORWARD

HRESULT object_token::SetId(LPCWSTR, LPCWSTR, BOOL) { return E_NOTIMPL; }

HRESULT object_token::GetId(LPWSTR* token_id) {
    if (token_id == nullptr) return E_POINTER;
    *token_id = nullptr;
    if (data_key_ == nullptr) return SPERR_UNINITIALIZED;
    try {
        *token_id = com::co_task_copy(token_id_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT object_token::GetCategory(ISpObjectTokenCategory**) { return E_NOTIMPL; }
HRESULT object_token::CreateInstance(IUnknown*, DWORD, REFIID, void**) { return E_NOTIMPL; }
HRESULT object_token::GetStorageFileName(REFCLSID, LPCWSTR, LPCWSTR, ULONG, LPWSTR*) {
    return E_NOTIMPL;
}
HRESULT object_token::RemoveStorageFileName(REFCLSID, LPCWSTR, BOOL) { return E_NOTIMPL; }
HRESULT object_token::Remove(const CLSID*) { return E_NOTIMPL; }
HRESULT object_token::IsUISupported(LPCWSTR, void*, ULONG, IUnknown*, BOOL*) { return E_NOTIMPL; }
HRESULT object_token::DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG, IUnknown*) {
    return E_NOTIMPL;
}
HRESULT object_token::MatchesAttributes(LPCWSTR, BOOL*) { return E_NOTIMPL; }

HRESULT object_token::InitFromDataKey(LPCWSTR category_id, LPCWSTR token_id, ISpDataKey* data_key) {
    if (category_id == nullptr || token_id == nullptr || data_key == nullptr) return E_INVALIDARG;
    if (data_key_ != nullptr) return SPERR_ALREADY_INITIALIZED;
    try {
        category_id_ = category_id;
        token_id_ = token_id;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    data_key->AddRef();
    data_key_ = data_key;
    return S_OK;
}

}  // namespace zelvan_tts::speech_platform
