// The class object handed out by DllGetClassObject: makes new objects of one
// class and keeps the library loaded while a server lock is held.
#pragma once

#include "com/sdk.h"

namespace zelvan_tts::com {

// Makes a new object of the class (count 1), queries it for `riid` into
// `object`, releases it and returns the result of the query.
using instance_maker = HRESULT (*)(REFIID riid, void** object);

class IClassFactoryImpl : public IClassFactory {
public:
    explicit IClassFactoryImpl(instance_maker make) : make_(make) {}
    virtual ~IClassFactoryImpl() = default;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

protected:
    void* interface_for(REFIID riid);

private:
    instance_maker make_;
};

}  // namespace zelvan_tts::com
