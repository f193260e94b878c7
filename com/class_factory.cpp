#include "com/class_factory.h"

#include "com/com_error.h"
#include "com/iunknown_impl.h"

namespace zelvan_tts::com {

HRESULT IClassFactoryImpl::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    return guarded([&] { return make_(riid, object); });
}

HRESULT IClassFactoryImpl::LockServer(BOOL lock) {
    if (lock) {
        live_objects.fetch_add(1);
    } else {
        live_objects.fetch_sub(1);
    }
    return S_OK;
}

void* IClassFactoryImpl::interface_for(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) return static_cast<IClassFactory*>(this);
    return nullptr;
}

}  // namespace zelvan_tts::com
