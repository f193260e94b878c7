#include "com/class_object_factory.h"

#include "com/iunknown_impl.h"

namespace zelvan_tts::com::class_object_factory {

bool concrete_creator::matches(REFCLSID clsid) const { return clsid == clsid_; }

HRESULT concrete_creator::create(REFIID riid, void** object) const {
    return create_and_query<IClassFactoryImpl>(riid, object, make_);
}

std::vector<std::shared_ptr<creator>>& creators() {
    static std::vector<std::shared_ptr<creator>> list;
    return list;
}

HRESULT get_class_object(REFCLSID clsid, REFIID riid, void** object) {
    for (const auto& c : creators()) {
        if (c->matches(clsid)) return c->create(riid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace zelvan_tts::com::class_object_factory
