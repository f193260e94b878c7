#include "speech_platform/com_runtime.h"

#include "com/sdk.h"
#include "com/wide_string.h"
#include "speech_platform/object_token.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace zelvan_tts::speech_platform {

namespace {
std::atomic<std::int64_t> allocations{0};
}

std::atomic<std::int32_t>& live_tokens() {
    static std::atomic<std::int32_t> count{0};
    return count;
}

std::int64_t outstanding_allocations() { return allocations.load(); }

}  // namespace zelvan_tts::speech_platform

using namespace zelvan_tts;

extern "C" {

ZELVAN_RUNTIME_API void* CoTaskMemAlloc(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) speech_platform::allocations.fetch_add(1);
    return block;
}

ZELVAN_RUNTIME_API void CoTaskMemFree(void* block) {
    if (block == nullptr) return;
    speech_platform::allocations.fetch_sub(1);
    std::free(block);
}

ZELVAN_RUNTIME_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid,
                                            void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_SpObjectToken) return REGDB_E_CLASSNOTREG;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* token = new (std::nothrow) speech_platform::object_token();
    if (token == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = token->QueryInterface(riid, object);
    token->Release();
    return hr;
}

ZELVAN_RUNTIME_API HRESULT OleRun(IUnknown* object) {
    return object == nullptr ? E_INVALIDARG : S_OK;
}

ZELVAN_RUNTIME_API HRESULT StringFromCLSID(REFCLSID clsid, LPWSTR* text) {
    if (text == nullptr) return E_INVALIDARG;
    *text = nullptr;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  clsid.Data1, clsid.Data2, clsid.Data3, clsid.Data4[0], clsid.Data4[1],
                  clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6],
                  clsid.Data4[7]);
    try {
        *text = com::co_task_copy(com::to_wide(buffer));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // extern "C"
