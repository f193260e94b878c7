// A read-only registry key held in memory: what a voice token's data and
// its attributes look like to the platform.
#pragma once

#include "com/sdk.h"
#include "com/wide_string.h"

#include <map>

namespace zelvan_tts::sapi {

using value_map = std::map<com::wstring, com::wstring, com::case_insensitive_less>;

class ISpDataKeyImpl : public ISpDataKey {
public:
    ISpDataKeyImpl(com::wstring default_value, value_map values)
        : default_value(std::move(default_value)), values(std::move(values)) {}
    virtual ~ISpDataKeyImpl() = default;

    HRESULT STDMETHODCALLTYPE SetData(LPCWSTR, ULONG, const BYTE*) override;
    HRESULT STDMETHODCALLTYPE GetData(LPCWSTR, ULONG*, BYTE*) override;
    HRESULT STDMETHODCALLTYPE SetStringValue(LPCWSTR, LPCWSTR) override;
    HRESULT STDMETHODCALLTYPE GetStringValue(LPCWSTR value_name, LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE SetDWORD(LPCWSTR, DWORD) override;
    HRESULT STDMETHODCALLTYPE GetDWORD(LPCWSTR, DWORD*) override;
    HRESULT STDMETHODCALLTYPE OpenKey(LPCWSTR subkey_name, ISpDataKey** subkey) override;
    HRESULT STDMETHODCALLTYPE CreateKey(LPCWSTR, ISpDataKey**) override;
    HRESULT STDMETHODCALLTYPE DeleteKey(LPCWSTR) override;
    HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR) override;
    HRESULT STDMETHODCALLTYPE EnumKeys(ULONG index, LPWSTR* subkey_name) override;
    HRESULT STDMETHODCALLTYPE EnumValues(ULONG index, LPWSTR* value_name) override;

    const com::wstring default_value;
    const value_map values;

protected:
    void* interface_for(REFIID riid);
};

}  // namespace zelvan_tts::sapi
