// The platform's object token (CLSID_SpObjectToken): an id in a category and
// a data key that answers the value and subkey reads.
#pragma once

#include "com/sdk.h"
#include "com/wide_string.h"

#include <atomic>

namespace zelvan_tts::speech_platform {

class object_token : public ISpObjectTokenInit {
public:
    object_token();
    virtual ~object_token();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ISpDataKey: answered by the data key given at initialisation.
    HRESULT STDMETHODCALLTYPE SetData(LPCWSTR name, ULONG size, const BYTE* data) override;
    HRESULT STDMETHODCALLTYPE GetData(LPCWSTR name, ULONG* size, BYTE* data) override;
    HRESULT STDMETHODCALLTYPE SetStringValue(LPCWSTR name, LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE GetStringValue(LPCWSTR name, LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE SetDWORD(LPCWSTR name, DWORD value) override;
    HRESULT STDMETHODCALLTYPE GetDWORD(LPCWSTR name, DWORD* value) override;
    HRESULT STDMETHODCALLTYPE OpenKey(LPCWSTR name, ISpDataKey** key) override;
    HRESULT STDMETHODCALLTYPE CreateKey(LPCWSTR name, ISpDataKey** key) override;
    HRESULT STDMETHODCALLTYPE DeleteKey(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE EnumKeys(ULONG index, LPWSTR* name) override;
    HRESULT STDMETHODCALLTYPE EnumValues(ULONG index, LPWSTR* name) override;

    // ISpObjectToken: the id; the rest is not offered by this stand-in.
    HRESULT STDMETHODCALLTYPE SetId(LPCWSTR, LPCWSTR, BOOL) override;
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* token_id) override;
    HRESULT STDMETHODCALLTYPE GetCategory(ISpObjectTokenCategory**) override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, DWORD, REFIID, void**) override;
    HRESULT STDMETHODCALLTYPE GetStorageFileName(REFCLSID, LPCWSTR, LPCWSTR, ULONG,
                                                 LPWSTR*) override;
    HRESULT STDMETHODCALLTYPE RemoveStorageFileName(REFCLSID, LPCWSTR, BOOL) override;
    HRESULT STDMETHODCALLTYPE Remove(const CLSID*) override;
    HRESULT STDMETHODCALLTYPE IsUISupported(LPCWSTR, void*, ULONG, IUnknown*, BOOL*) override;
    HRESULT STDMETHODCALLTYPE DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG, IUnknown*) override;
    HRESULT STDMETHODCALLTYPE MatchesAttributes(LPCWSTR, BOOL*) override;

    // ISpObjectTokenInit: once per token.
    HRESULT STDMETHODCALLTYPE InitFromDataKey(LPCWSTR category_id, LPCWSTR token_id,
                                              ISpDataKey* data_key) override;

private:
    std::atomic<ULONG> references_{1};
    com::wstring category_id_;
    com::wstring token_id_;
    ISpDataKey* data_key_ = nullptr;
};

}  // namespace zelvan_tts::speech_platform
