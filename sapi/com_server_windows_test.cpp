// The COM server on Windows: class objects, the IUnknown rules, the
// live-object count behind DllCanUnloadNow, and the engine object of a
// library that cannot synthesise here (no model, or no LibTorch at all).
#include "sapi/class_ids.h"
#include "com/com_ptr.h"
#include "sapi/engine_object_checks.h"
#include "sapi/test_object_token.h"
#include "sapi/windows_plugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelvan_tts::sapi_test {
namespace {

using sapi::CLSID_ZelvanEngine;
using sapi::CLSID_ZelvanTokenEnum;

class ComServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(apartment.ok());
        ASSERT_TRUE(lib.loaded());
        ASSERT_EQ(lib.DllCanUnloadNow(), S_OK);
    }

    com_apartment apartment;
    windows_plugin lib;
};

TEST_F(ComServer, ClassObjectsAreServedOnlyForTheTwoClasses) {
    const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const CLSID* clsid : {&unknown, &CLSID_SpObjectToken}) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(lib.DllGetClassObject(*clsid, IID_IClassFactory, &object),
                  CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(lib.DllGetClassObject(CLSID_ZelvanEngine, IID_IClassFactory, nullptr), E_POINTER);

    // A class object refused for an interface leaves nothing alive.
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(lib.DllGetClassObject(CLSID_ZelvanTokenEnum, IID_ISpDataKey, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(lib.DllCanUnloadNow(), S_OK);
}

TEST_F(ComServer, ClassFactoriesFollowTheRules) {
    struct Case {
        const char* name;
        const CLSID* clsid;
        const IID* made_as;  // an interface the class has
        const IID* refused;  // one it has not
    };
    const Case cases[] = {
        {"enumerator", &CLSID_ZelvanTokenEnum, &IID_IEnumSpObjectTokens, &IID_ISpTTSEngine},
        {"engine", &CLSID_ZelvanEngine, &IID_ISpTTSEngine, &IID_IEnumSpObjectTokens},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        com::ptr<IClassFactory> factory;
        ASSERT_EQ(lib.DllGetClassObject(*c.clsid, IID_IClassFactory, factory.receive_void()), S_OK);
        EXPECT_EQ(lib.DllCanUnloadNow(), S_FALSE);

        // A new class factory on every call, each an IUnknown of its own.
        com::ptr<IUnknown> second;
        ASSERT_EQ(lib.DllGetClassObject(*c.clsid, IID_IUnknown, second.receive_void()), S_OK);
        EXPECT_NE(static_cast<void*>(second.get()), static_cast<void*>(factory.get()));
        com::ptr<IClassFactory> again;
        ASSERT_EQ(second->QueryInterface(IID_IClassFactory, again.receive_void()), S_OK);
        EXPECT_EQ(static_cast<void*>(again.get()), static_cast<void*>(second.get()));
        EXPECT_EQ(second->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
        again.reset();
        second.reset();

        com::ptr<IUnknown> made;
        EXPECT_EQ(factory->CreateInstance(factory.get(), IID_IUnknown, made.receive_void()),
                  CLASS_E_NOAGGREGATION);
        EXPECT_FALSE(made);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
        void* refused = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->CreateInstance(nullptr, *c.refused, &refused), E_NOINTERFACE);
        EXPECT_EQ(refused, nullptr);

        // The new object's count starts at 1 for its holder.
        ASSERT_EQ(factory->CreateInstance(nullptr, *c.made_as, made.receive_void()), S_OK);
        ASSERT_TRUE(made);
        EXPECT_EQ(made->AddRef(), 2u);
        EXPECT_EQ(made->Release(), 1u);
        com::ptr<IUnknown> identity;
        ASSERT_EQ(made->QueryInterface(IID_IUnknown, identity.receive_void()), S_OK);
        EXPECT_EQ(static_cast<void*>(identity.get()), static_cast<void*>(made.get()));
        identity.reset();
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(made->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);

        // The object alone keeps the library loaded, then a server lock alone.
        factory.reset();
        EXPECT_EQ(lib.DllCanUnloadNow(), S_FALSE);
        made.reset();
        EXPECT_TRUE(lib.idle());
        ASSERT_EQ(lib.DllGetClassObject(*c.clsid, IID_IClassFactory, factory.receive_void()), S_OK);
        EXPECT_EQ(factory->LockServer(TRUE), S_OK);
        factory.reset();
        EXPECT_EQ(lib.DllCanUnloadNow(), S_FALSE);
        ASSERT_EQ(lib.DllGetClassObject(*c.clsid, IID_IClassFactory, factory.receive_void()), S_OK);
        EXPECT_EQ(factory->LockServer(FALSE), S_OK);
        factory.reset();
        EXPECT_EQ(lib.DllCanUnloadNow(), S_OK);
    }
}

TEST_F(ComServer, EngineHasTwoInterfacePointersWithOneCount) {
    com::ptr<ISpTTSEngine> engine = lib.create<ISpTTSEngine>(CLSID_ZelvanEngine, IID_ISpTTSEngine);
    ASSERT_TRUE(engine);
    com::ptr<ISpObjectWithToken> with_token;
    ASSERT_EQ(engine->QueryInterface(IID_ISpObjectWithToken, with_token.receive_void()), S_OK);
    expect_one_object(engine.get(), with_token.get());

    expect_no_token(with_token.get());

    engine.reset();
    EXPECT_EQ(lib.DllCanUnloadNow(), S_FALSE);
    with_token.reset();
    EXPECT_EQ(lib.DllCanUnloadNow(), S_OK);
}

TEST_F(ComServer, EngineKeepsItsTokenAndGivesTheOutputFormat) {
    test_token_class token_class;
    ASSERT_TRUE(token_class.registered());
    com::ptr<IEnumSpObjectTokens> voices =
        lib.create<IEnumSpObjectTokens>(CLSID_ZelvanTokenEnum, IID_IEnumSpObjectTokens);
    ASSERT_TRUE(voices);
    com::ptr<ISpObjectToken> voice, other;
    ASSERT_EQ(voices->Item(7, voice.receive()), S_OK);
    ASSERT_EQ(voices->Item(8, other.receive()), S_OK);
    voices.reset();

    com::ptr<ISpObjectWithToken> engine =
        lib.create<ISpObjectWithToken>(CLSID_ZelvanEngine, IID_ISpObjectWithToken);
    ASSERT_TRUE(engine);
    ASSERT_EQ(engine->SetObjectToken(voice.get()), S_OK);
    com::ptr<ISpObjectToken> held;
    ASSERT_EQ(engine->GetObjectToken(held.receive()), S_OK);
    EXPECT_EQ(held.get(), voice.get());
    // A second token replaces the first, which the engine lets go.
    ASSERT_EQ(engine->SetObjectToken(other.get()), S_OK);
    ASSERT_EQ(engine->GetObjectToken(held.receive()), S_OK);
    EXPECT_EQ(held.get(), other.get());
    held.reset();
    EXPECT_EQ(voice->AddRef(), 2u);
    EXPECT_EQ(voice->Release(), 1u);

    com::ptr<ISpTTSEngine> speaker;
    ASSERT_EQ(engine->QueryInterface(IID_ISpTTSEngine, speaker.receive_void()), S_OK);
    expect_output_format(speaker.get());

    speaker.reset();
    engine.reset();
    voice.reset();
    other.reset();
    EXPECT_TRUE(lib.idle());
    EXPECT_EQ(test_token_class::live_tokens(), 0);
}

// An output site that records what the engine hands it.
class recording_site final : public ISpTTSEngineSite {
public:
    struct event {
        SPEVENTENUM id;
        SPEVENTLPARAMTYPE type;
        ULONGLONG offset;
        WPARAM wparam;
        std::wstring text;  // the string of a string event
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_ISpEventSink && riid != IID_ISpTTSEngineSite) {
            return E_NOINTERFACE;
        }
        *object = static_cast<ISpTTSEngineSite*>(this);
        return S_OK;
    }
    // Lives on the test's stack.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override {
        for (ULONG i = 0; i < count; ++i) {
            const SPEVENT& e = events[i];
            event recorded{e.eEventId, e.elParamType, e.ullAudioStreamOffset, e.wParam, {}};
            if (e.elParamType == SPET_LPARAM_IS_STRING) {
                auto* text = reinterpret_cast<WCHAR*>(e.lParam);
                recorded.text = text;
                CoTaskMemFree(text);  // the site owns what it is given
            }
            recorded_events.push_back(recorded);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEventInterest(ULONGLONG* interest) override {
        *interest =
            SPFEI(SPEI_TTS_BOOKMARK) | SPFEI(SPEI_SENTENCE_BOUNDARY) | SPFEI(SPEI_WORD_BOUNDARY);
        return S_OK;
    }
    DWORD STDMETHODCALLTYPE GetActions() override { return SPVES_CONTINUE; }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG size, ULONG* written) override {
        bytes_written += size;
        if (written != nullptr) *written = size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRate(LONG* rate) override {
        *rate = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) override {
        *volume = 100;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CompleteSkip(LONG) override { return E_NOTIMPL; }

    std::vector<event> recorded_events;
    ULONGLONG bytes_written = 0;
};

SPVTEXTFRAG fragment(SPVACTIONS action, const wchar_t* text, ULONG source_offset = 0) {
    SPVTEXTFRAG f{};
    f.State.eAction = action;
    f.State.Volume = 100;
    f.pTextStart = text;
    f.ulTextLen = static_cast<ULONG>(std::wstring(text).size());
    f.ulTextSrcOffset = source_offset;
    return f;
}

TEST_F(ComServer, SpeakWithoutSynthesisFailsAndStillDeliversBookmarks) {
    com::ptr<ISpTTSEngine> engine = lib.create<ISpTTSEngine>(CLSID_ZelvanEngine, IID_ISpTTSEngine);
    ASSERT_TRUE(engine);
    recording_site site;
    SPVTEXTFRAG bookmark = fragment(SPVA_Bookmark, L"42 first");
    SPVTEXTFRAG silence = fragment(SPVA_Silence, L"");

    EXPECT_EQ(engine->Speak(0, SPDFID_WaveFormatEx, nullptr, nullptr, &site), E_INVALIDARG);
    EXPECT_EQ(engine->Speak(0, SPDFID_WaveFormatEx, nullptr, &bookmark, nullptr), E_INVALIDARG);

    // Nothing to synthesise: the bookmark arrives, no audio is written.
    bookmark.pNext = &silence;
    ASSERT_EQ(engine->Speak(0, SPDFID_WaveFormatEx, nullptr, &bookmark, &site), S_OK);
    ASSERT_EQ(site.recorded_events.size(), 1u);
    EXPECT_EQ(site.recorded_events[0].id, SPEI_TTS_BOOKMARK);
    EXPECT_EQ(site.recorded_events[0].type, SPET_LPARAM_IS_STRING);
    EXPECT_EQ(site.recorded_events[0].offset, 0u);
    EXPECT_EQ(site.recorded_events[0].wparam, 42u);
    EXPECT_EQ(site.recorded_events[0].text, L"42 first");
    EXPECT_EQ(site.bytes_written, 0u);

    // Text to speak needs the model, which this library cannot load.
    site.recorded_events.clear();
    SPVTEXTFRAG text = fragment(SPVA_Speak, L"Hello there. Again!", 5);
    bookmark.pNext = &text;
    EXPECT_EQ(engine->Speak(0, SPDFID_WaveFormatEx, nullptr, &bookmark, &site), E_UNEXPECTED);
    EXPECT_EQ(site.bytes_written, 0u);
    ASSERT_EQ(site.recorded_events.size(), 1u);
    EXPECT_EQ(site.recorded_events[0].id, SPEI_TTS_BOOKMARK);

    engine.reset();
    EXPECT_TRUE(lib.idle());
}

}  // namespace
}  // namespace zelvan_tts::sapi_test
