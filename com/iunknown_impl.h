// Reference counting shared by every COM object of the library, and the
// count of live objects that decides whether the library may be unloaded.
#pragma once

#include "com/sdk.h"

#include <atomic>
#include <cstdint>
#include <utility>

namespace zelvan_tts::com {

// Objects (and server locks) alive in this library.
extern std::atomic<std::int32_t> live_objects;

// Completes an implementation class with the three IUnknown methods. `Impl`
// supplies `void* interface_for(REFIID)`: the interface pointer for an id it
// supports, else null. The count starts at 1 for the creator.
template <class Impl>
class IUnknownImpl : public Impl {
public:
    template <class... Args>
    explicit IUnknownImpl(Args&&... args) : Impl(std::forward<Args>(args)...) {
        live_objects.fetch_add(1);
    }
    virtual ~IUnknownImpl() { live_objects.fetch_sub(1); }

    IUnknownImpl(const IUnknownImpl&) = delete;
    IUnknownImpl& operator=(const IUnknownImpl&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        void* found = Impl::interface_for(riid);
        *object = found;
        if (found == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(references_.fetch_add(1) + 1);
    }

    ULONG STDMETHODCALLTYPE Release() override {
        const std::int32_t left = references_.fetch_sub(1) - 1;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

private:
    std::atomic<std::int32_t> references_{1};
};

// Makes a new object, queries it for `riid` into `object` and drops the
// creator's reference, so a refused interface destroys the object again.
template <class Impl, class... Args>
HRESULT create_and_query(REFIID riid, void** object, Args&&... args) {
    auto* made = new IUnknownImpl<Impl>(std::forward<Args>(args)...);
    const HRESULT hr = made->QueryInterface(riid, object);
    made->Release();
    return hr;
}

}  // namespace zelvan_tts::com
