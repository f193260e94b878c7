#include "sapi/voice_token.h"

#include "sapi/class_ids.h"
#include "com/com_error.h"
#include "com/com_ptr.h"
#include "com/iunknown_impl.h"
#include "com/registry.h"
#include "shared/symbols/speakers.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace zelvan_tts::sapi {

const com::wstring voice_category_id =
    com::to_wide("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices");
const com::wstring enum_id = voice_category_id + com::to_wide("\\TokenEnums\\ZelvanTTS");

namespace {

bool in_table(std::int32_t index) {
    return index >= 0 && index < static_cast<std::int32_t>(speakers.size());
}

value_map token_values() {
    return {{com::to_wide("CLSID"), com::to_wide("{B695BED8-0422-479B-BF5B-FC2AB170D63D}")}};
}

value_map token_attributes(std::int32_t index) {
    char language[16] = "419";
    if (in_table(index)) std::snprintf(language, sizeof language, "%x", speakers[index].lcid);
    return {
        {com::to_wide("SpeakerId"), com::to_wide(std::to_string(index))},
        {com::to_wide("Age"), com::to_wide("Adult")},
        {com::to_wide("Vendor"), com::to_wide("Zelvan")},
        {com::to_wide("Language"), com::to_wide(language)},
        {com::to_wide("Gender"), com::to_wide("Neutral")},
        {com::to_wide("Name"), voice_display_name(index)},
    };
}

}  // namespace

com::wstring voice_display_name(std::int32_t index) {
    if (in_table(index)) {
        const auto* name = reinterpret_cast<const WCHAR*>(speakers[index].display_name);
        return com::wstring(name);
    }
    return com::to_wide("Speaker " + std::to_string(static_cast<std::int64_t>(index) + 1));
}

voice_token::voice_token(std::int32_t index)
    : ISpDataKeyImpl(voice_display_name(index), token_values()),
      attributes(token_attributes(index)) {}

HRESULT voice_token::OpenKey(LPCWSTR subkey_name, ISpDataKey** subkey) {
    if (subkey_name == nullptr) return E_INVALIDARG;
    if (subkey == nullptr) return E_POINTER;
    *subkey = nullptr;
    return com::guarded([&] {
        if (!com::equal_ignoring_case(subkey_name, com::to_wide("Attributes"))) {
            return SPERR_NOT_FOUND;
        }
        return com::create_and_query<ISpDataKeyImpl>(
            IID_ISpDataKey, reinterpret_cast<void**>(subkey), com::wstring(), attributes);
    });
}

HRESULT voice_token::EnumKeys(ULONG index, LPWSTR* subkey_name) {
    if (subkey_name == nullptr) return E_POINTER;
    *subkey_name = nullptr;
    if (index != 0) return SPERR_NO_MORE_ITEMS;
    return com::guarded([&] {
        *subkey_name = com::co_task_copy(com::to_wide("Attributes"));
        return S_OK;
    });
}

ISpObjectToken* make_voice_token(std::int32_t index) {
    const com::wstring id = enum_id + com::to_wide("\\") + voice_display_name(index);

    com::ptr<ISpDataKey> data_key;
    {
        com::ptr<com::IUnknownImpl<voice_token>> made(new com::IUnknownImpl<voice_token>(index));
        const HRESULT hr = made->QueryInterface(IID_ISpDataKey, data_key.receive_void());
        if (FAILED(hr)) throw com::com_error(hr);
    }

    com::ptr<ISpObjectTokenInit> init;
    {
        com::ptr<IUnknown> unknown;
        HRESULT hr = CoCreateInstance(CLSID_SpObjectToken, nullptr, CLSCTX_ALL, IID_IUnknown,
                                      unknown.receive_void());
        if (SUCCEEDED(hr)) hr = OleRun(unknown.get());
        if (SUCCEEDED(hr))
            hr = unknown->QueryInterface(IID_ISpObjectTokenInit, init.receive_void());
        if (hr == E_NOINTERFACE) throw std::runtime_error("Unable to create an object token");
        if (FAILED(hr)) throw com::com_error(hr);
    }

    if (FAILED(init->InitFromDataKey(voice_category_id.c_str(), id.c_str(), data_key.get()))) {
        throw std::runtime_error("Unable to initialize an object token");
    }

    com::ptr<ISpObjectToken> token;
    const HRESULT hr = init->QueryInterface(IID_ISpObjectToken, token.receive_void());
    if (FAILED(hr)) {
        if (hr == E_NOINTERFACE) throw std::runtime_error("Unable to create an object token");
        throw com::com_error(hr);
    }
    return token.detach();
}

}  // namespace zelvan_tts::sapi
