// The classes this library serves, looked up by CLSID when the platform asks
// for a class object.
#pragma once

#include "com/class_factory.h"
#include "com/sdk.h"

#include <memory>
#include <vector>

namespace zelvan_tts::com::class_object_factory {

class creator {
public:
    virtual ~creator() = default;
    // Whether this creator serves `clsid` (all 16 bytes compared).
    virtual bool matches(REFCLSID clsid) const = 0;
    // A new class factory for the class, queried for `riid` into `object`.
    virtual HRESULT create(REFIID riid, void** object) const = 0;
};

class concrete_creator : public creator {
public:
    concrete_creator(const CLSID& clsid, instance_maker make) : clsid_(clsid), make_(make) {}
    bool matches(REFCLSID clsid) const override;
    HRESULT create(REFIID riid, void** object) const override;

private:
    CLSID clsid_;
    instance_maker make_;
};

// The process-wide list, filled once when the library is loaded and only
// read afterwards.
std::vector<std::shared_ptr<creator>>& creators();

// The first creator's answer for `clsid`; CLASS_E_CLASSNOTAVAILABLE when
// none serves it. Exceptions propagate.
HRESULT get_class_object(REFCLSID clsid, REFIID riid, void** object);

}  // namespace zelvan_tts::com::class_object_factory
