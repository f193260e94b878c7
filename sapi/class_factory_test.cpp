#include "sapi/class_ids.h"
#include "sapi/engine_object_checks.h"
#include "sapi/plugin_fixture.h"

#include <gtest/gtest.h>

namespace zelvan_tts::sapi_test {
namespace {

using sapi::CLSID_ZelvanEngine;
using sapi::CLSID_ZelvanTokenEnum;

TEST(ClassFactory, ClassObjectsAreServedOnlyForTheTwoClasses) {
    auto& lib = engine_library();
    ASSERT_TRUE(library_idle());

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(lib.DllGetClassObject(CLSID_SpObjectToken, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(lib.DllGetClassObject(CLSID_ZelvanEngine, IID_IClassFactory, nullptr), E_POINTER);

    // A class object refused for an interface leaves nothing alive.
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(lib.DllGetClassObject(CLSID_ZelvanEngine, IID_ISpDataKey, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(lib.DllCanUnloadNow(), S_OK);

    for (const CLSID* clsid : {&CLSID_ZelvanTokenEnum, &CLSID_ZelvanEngine}) {
        com::ptr<IClassFactory> factory;
        ASSERT_EQ(lib.DllGetClassObject(*clsid, IID_IClassFactory, factory.receive_void()), S_OK);
        EXPECT_EQ(lib.DllCanUnloadNow(), S_FALSE);

        com::ptr<IUnknown> made;
        EXPECT_EQ(factory->CreateInstance(factory.get(), IID_IUnknown, made.receive_void()),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
        void* refused = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &refused), E_NOINTERFACE);
        EXPECT_EQ(refused, nullptr);

        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, made.receive_void()), S_OK);
        ASSERT_TRUE(made);

        // A server lock keeps the library loaded on its own.
        factory->LockServer(TRUE);
        made.reset();
        factory.reset();
        EXPECT_EQ(lib.DllCanUnloadNow(), S_FALSE);
        {
            com::ptr<IClassFactory> again;
            ASSERT_EQ(lib.DllGetClassObject(*clsid, IID_IClassFactory, again.receive_void()), S_OK);
            again->LockServer(FALSE);
        }
        EXPECT_TRUE(library_idle());
    }
}

TEST(ClassFactory, EngineHasTwoInterfacePointersWithOneCount) {
    auto& lib = engine_library();
    com::ptr<IClassFactory> factory;
    ASSERT_EQ(lib.DllGetClassObject(CLSID_ZelvanEngine, IID_IClassFactory, factory.receive_void()),
              S_OK);
    com::ptr<ISpTTSEngine> engine;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ISpTTSEngine, engine.receive_void()), S_OK);
    factory.reset();

    com::ptr<ISpObjectWithToken> with_token;
    ASSERT_EQ(engine->QueryInterface(IID_ISpObjectWithToken, with_token.receive_void()), S_OK);
    expect_one_object(engine.get(), with_token.get());
    EXPECT_EQ(engine->QueryInterface(IID_ISpDataKey, nullptr), E_POINTER);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(engine->QueryInterface(IID_IEnumSpObjectTokens, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    expect_no_token(with_token.get());

    engine.reset();
    EXPECT_EQ(lib.DllCanUnloadNow(), S_FALSE);
    with_token.reset();
    EXPECT_TRUE(library_idle());
}

}  // namespace
}  // namespace zelvan_tts::sapi_test
