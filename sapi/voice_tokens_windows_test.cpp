// The token enumerator and the voice tokens' data keys on Windows, with the
// tokens made on a stand-in of the platform's token object (Wine's lacks
// ISpObjectTokenInit), and what the enumerator does on Wine's own.
#include "sapi/class_ids.h"
#include "com/com_ptr.h"
#include "com/out_ptr.h"
#include "com/wide_string.h"
#include "sapi/test_object_token.h"
#include "sapi/windows_plugin.h"
#include "shared/symbols/speakers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelvan_tts::sapi_test {
namespace {

using sapi::CLSID_ZelvanTokenEnum;

const std::wstring kCategory = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices";

std::wstring display_name(int voice) {
    return reinterpret_cast<const wchar_t*>(speakers[voice].display_name);
}

std::wstring expected_id(int voice) {
    return kCategory + L"\\TokenEnums\\ZelvanTTS\\" + display_name(voice);
}

// The first voice of the table with this language identifier.
int voice_with_lcid(std::uint16_t lcid) {
    for (std::size_t i = 0; i < speakers.size(); ++i) {
        if (speakers[i].lcid == lcid) return static_cast<int>(i);
    }
    return -1;
}

// GetStringValue as text; "<null>" when nothing came back, with the result.
std::wstring string_value(ISpDataKey* key, const wchar_t* name, HRESULT* result = nullptr) {
    utils::out_ptr text(&CoTaskMemFree);
    const HRESULT hr = key->GetStringValue(name, text.receive());
    if (result != nullptr) *result = hr;
    return text.get() != nullptr ? std::wstring(text.get()) : L"<null>";
}

template <class Enumerate>
std::vector<std::wstring> names(Enumerate enumerate, HRESULT* end) {
    std::vector<std::wstring> found;
    for (ULONG i = 0;; ++i) {
        utils::out_ptr name(&CoTaskMemFree);
        const HRESULT hr = enumerate(i, name.receive());
        if (hr != S_OK) {
            *end = hr;
            EXPECT_EQ(name.get(), nullptr);
            return found;
        }
        found.push_back(name.get());
    }
}

class VoiceTokens : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(apartment.ok());
        ASSERT_TRUE(lib.loaded());
        ASSERT_TRUE(token_class.registered());
        voices = lib.create<IEnumSpObjectTokens>(CLSID_ZelvanTokenEnum, IID_IEnumSpObjectTokens);
        ASSERT_TRUE(voices);
    }

    void TearDown() override {
        voices.reset();
        EXPECT_EQ(test_token_class::live_tokens(), 0);
    }

    com::ptr<ISpObjectToken> item(ULONG index) {
        com::ptr<ISpObjectToken> token;
        EXPECT_EQ(voices->Item(index, token.receive()), S_OK);
        return token;
    }

    com_apartment apartment;
    windows_plugin lib;
    test_token_class token_class;
    com::ptr<IEnumSpObjectTokens> voices;
};

TEST_F(VoiceTokens, NextGivesEveryVoiceInOrderThenNothing) {
    ULONG count = 0;
    ASSERT_EQ(voices->GetCount(&count), S_OK);
    EXPECT_EQ(count, 60u);
    EXPECT_EQ(voices->GetCount(nullptr), E_POINTER);

    ISpObjectToken* tokens[61] = {};
    ULONG fetched = 99;
    EXPECT_EQ(voices->Next(0, tokens, &fetched), E_INVALIDARG);
    EXPECT_EQ(voices->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(voices->Next(5, tokens, nullptr), E_POINTER);
    ASSERT_EQ(voices->Next(60, tokens, &fetched), S_OK);
    ASSERT_EQ(fetched, 60u);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(token_id(tokens[i]), expected_id(i));
        EXPECT_EQ(token_category(tokens[i]), kCategory);
        EXPECT_EQ(string_value(tokens[i], nullptr), display_name(i));
    }
    // Each token keeps its data key, and so the library, alive.
    EXPECT_EQ(lib.DllCanUnloadNow(), S_FALSE);
    for (int i = 0; i < 60; ++i) tokens[i]->Release();

    fetched = 99;
    EXPECT_EQ(voices->Next(1, tokens, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(test_token_class::live_tokens(), 0);

    // A request past the end gives what is left.
    ASSERT_EQ(voices->Reset(), S_OK);
    ASSERT_EQ(voices->Skip(57), S_OK);
    ASSERT_EQ(voices->Next(5, tokens, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(token_id(tokens[i]), expected_id(57 + i));
        tokens[i]->Release();
    }
}

TEST_F(VoiceTokens, SkipResetCloneAndItemMoveAsTheyShould) {
    ISpObjectToken* token = nullptr;
    EXPECT_EQ(voices->Skip(100), S_FALSE);
    EXPECT_EQ(voices->Next(1, &token, nullptr), S_FALSE);
    EXPECT_EQ(voices->Reset(), S_OK);
    ASSERT_EQ(voices->Next(1, &token, nullptr), S_OK);  // no count wanted for one token
    EXPECT_EQ(token_id(token), expected_id(0));
    token->Release();

    // A clone starts where its source stood and moves on its own.
    voices->Reset();
    EXPECT_EQ(voices->Skip(10), S_OK);
    com::ptr<IEnumSpObjectTokens> clone;
    EXPECT_EQ(voices->Clone(nullptr), E_POINTER);
    ASSERT_EQ(voices->Clone(clone.receive()), S_OK);
    ISpObjectToken* three[3] = {};
    ULONG fetched = 0;
    ASSERT_EQ(clone->Next(3, three, &fetched), S_OK);
    EXPECT_EQ(token_id(three[0]), expected_id(10));
    EXPECT_EQ(token_id(three[2]), expected_id(12));
    for (ISpObjectToken* t : three) t->Release();
    ASSERT_EQ(voices->Next(1, &token, nullptr), S_OK);
    EXPECT_EQ(token_id(token), expected_id(10));
    token->Release();
    ULONG count = 0;
    EXPECT_EQ(clone->GetCount(&count), S_OK);
    EXPECT_EQ(count, 60u);
    clone.reset();

    // Item leaves the position alone.
    EXPECT_EQ(token_id(item(59).get()), expected_id(59));
    token = reinterpret_cast<ISpObjectToken*>(1);
    EXPECT_EQ(voices->Item(60, &token), SPERR_NO_MORE_ITEMS);
    EXPECT_EQ(token, nullptr);
    EXPECT_EQ(voices->Item(0, nullptr), E_POINTER);
    ASSERT_EQ(voices->Next(1, &token, nullptr), S_OK);
    EXPECT_EQ(token_id(token), expected_id(11));
    token->Release();
}

TEST_F(VoiceTokens, TokenKeysAnswerFromTheVoiceTable) {
    const int belarusian = voice_with_lcid(0x0423);
    const int russian = voice_with_lcid(0x0419);
    ASSERT_GE(belarusian, 0);
    ASSERT_GE(russian, 0);
    struct Case {
        int voice;
        const wchar_t* language;
        const wchar_t* speaker_id;
    };
    const Case cases[] = {
        {0, nullptr, L"0"},
        {belarusian, L"423", nullptr},
        {russian, L"419", nullptr},
        {59, nullptr, L"59"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.voice);
        com::ptr<ISpObjectToken> token = item(static_cast<ULONG>(c.voice));
        ASSERT_TRUE(token);
        HRESULT hr = S_OK;
        EXPECT_EQ(string_value(token.get(), L"clsid", &hr),
                  L"{B695BED8-0422-479B-BF5B-FC2AB170D63D}");
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(string_value(token.get(), L"SpeakerId", &hr), L"<null>");
        EXPECT_EQ(hr, SPERR_NOT_FOUND);

        com::ptr<ISpDataKey> attributes;
        ASSERT_EQ(token->OpenKey(L"ATTRIBUTES", attributes.receive()), S_OK);
        ASSERT_TRUE(attributes);
        const std::wstring speaker_id = c.speaker_id ? c.speaker_id : std::to_wstring(c.voice);
        wchar_t language[8] = {};
        swprintf(language, 8, L"%x", speakers[c.voice].lcid);
        EXPECT_EQ(string_value(attributes.get(), L"SpeakerId"), speaker_id);
        EXPECT_EQ(string_value(attributes.get(), L"Language"),
                  c.language ? std::wstring(c.language) : std::wstring(language));
        EXPECT_EQ(string_value(attributes.get(), L"name"), display_name(c.voice));
        EXPECT_EQ(string_value(attributes.get(), L"Age"), L"Adult");
        EXPECT_EQ(string_value(attributes.get(), L"Vendor"), L"Zelvan");
        EXPECT_EQ(string_value(attributes.get(), L"Gender"), L"Neutral");
        // The attribute key has no default value and no CLSID.
        EXPECT_EQ(string_value(attributes.get(), nullptr), L"");
        EXPECT_EQ(string_value(attributes.get(), L"CLSID", &hr), L"<null>");
        EXPECT_EQ(hr, SPERR_NOT_FOUND);
    }
}

TEST_F(VoiceTokens, KeysListTheirValuesAndSubkeysAndStayReadOnly) {
    com::ptr<ISpObjectToken> token = item(3);
    ASSERT_TRUE(token);
    ISpDataKey* missing = reinterpret_cast<ISpDataKey*>(1);
    EXPECT_EQ(token->OpenKey(L"Attribute", &missing), SPERR_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(token->OpenKey(nullptr, &missing), E_INVALIDARG);
    EXPECT_EQ(token->OpenKey(L"Attributes", nullptr), E_POINTER);
    EXPECT_EQ(token->GetStringValue(nullptr, nullptr), E_POINTER);

    HRESULT end = S_OK;
    EXPECT_EQ(names([&](ULONG i, LPWSTR* n) { return token->EnumValues(i, n); }, &end),
              std::vector<std::wstring>{L"CLSID"});
    EXPECT_EQ(end, SPERR_NO_MORE_ITEMS);
    EXPECT_EQ(names([&](ULONG i, LPWSTR* n) { return token->EnumKeys(i, n); }, &end),
              std::vector<std::wstring>{L"Attributes"});
    EXPECT_EQ(end, SPERR_NO_MORE_ITEMS);

    com::ptr<ISpDataKey> attributes;
    ASSERT_EQ(token->OpenKey(L"Attributes", attributes.receive()), S_OK);
    // Names in case-insensitive order.
    const std::vector<std::wstring> attribute_names = {L"Age",  L"Gender",    L"Language",
                                                       L"Name", L"SpeakerId", L"Vendor"};
    EXPECT_EQ(names([&](ULONG i, LPWSTR* n) { return attributes->EnumValues(i, n); }, &end),
              attribute_names);
    EXPECT_EQ(end, SPERR_NO_MORE_ITEMS);
    EXPECT_EQ(names([&](ULONG i, LPWSTR* n) { return attributes->EnumKeys(i, n); }, &end),
              std::vector<std::wstring>{});
    EXPECT_EQ(end, SPERR_NO_MORE_ITEMS);
    missing = reinterpret_cast<ISpDataKey*>(1);
    EXPECT_EQ(attributes->OpenKey(L"Attributes", &missing), SPERR_NOT_FOUND);

    // Every write and delete is refused and changes nothing.
    for (ISpDataKey* key : {static_cast<ISpDataKey*>(token.get()), attributes.get()}) {
        const BYTE data[2] = {1, 2};
        ULONG size = sizeof data;
        BYTE buffer[2] = {};
        DWORD number = 0;
        ISpDataKey* created = nullptr;
        EXPECT_EQ(key->SetData(L"Name", size, data), E_NOTIMPL);
        EXPECT_EQ(key->GetData(L"Name", &size, buffer), SPERR_NOT_FOUND);
        EXPECT_EQ(key->SetStringValue(L"Name", L"Changed"), E_NOTIMPL);
        EXPECT_EQ(key->SetStringValue(nullptr, L"Changed"), E_NOTIMPL);
        EXPECT_EQ(key->SetDWORD(L"Name", 7), E_NOTIMPL);
        EXPECT_EQ(key->GetDWORD(L"Name", &number), E_NOTIMPL);
        EXPECT_EQ(key->CreateKey(L"More", &created), E_NOTIMPL);
        EXPECT_EQ(key->DeleteKey(L"Attributes"), E_NOTIMPL);
        EXPECT_EQ(key->DeleteValue(L"Name"), E_NOTIMPL);
    }
    EXPECT_EQ(string_value(token.get(), nullptr), display_name(3));
    EXPECT_EQ(string_value(attributes.get(), L"Name"), display_name(3));

    // An opened attribute key is an object of the library on its own.
    token.reset();
    voices.reset();
    EXPECT_EQ(lib.DllCanUnloadNow(), S_FALSE);
    attributes.reset();
    EXPECT_EQ(lib.DllCanUnloadNow(), S_OK);
}

// Without the stand-in, the tokens are Wine's: where those cannot be
// initialised from a data key, the enumerator fails cleanly, and once a
// token object that can be initialised is there, it carries on where it was.
TEST(VoiceTokensOnThePlatformToken, FailureLeavesNothingBehind) {
    com_apartment apartment;
    ASSERT_TRUE(apartment.ok());
    windows_plugin lib;
    ASSERT_TRUE(lib.loaded());
    com::ptr<IEnumSpObjectTokens> voices =
        lib.create<IEnumSpObjectTokens>(CLSID_ZelvanTokenEnum, IID_IEnumSpObjectTokens);
    ASSERT_TRUE(voices);
    ASSERT_EQ(voices->Skip(4), S_OK);

    ISpObjectToken* tokens[2] = {};
    ULONG fetched = 99;
    const HRESULT next = voices->Next(2, tokens, &fetched);
    if (platform_token_has_init()) {
        ASSERT_EQ(next, S_OK);
        EXPECT_EQ(fetched, 2u);
        EXPECT_EQ(string_value(tokens[0], nullptr), display_name(4));
        for (ISpObjectToken* t : tokens) t->Release();
        return;
    }
    EXPECT_EQ(next, E_UNEXPECTED);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(tokens[0], nullptr);
    ISpObjectToken* token = reinterpret_cast<ISpObjectToken*>(1);
    EXPECT_EQ(voices->Item(0, &token), E_UNEXPECTED);
    EXPECT_EQ(token, nullptr);

    // The failed Next did not move the position.
    test_token_class token_class;
    ASSERT_TRUE(token_class.registered());
    ASSERT_EQ(voices->Next(1, tokens, nullptr), S_OK);
    EXPECT_EQ(token_id(tokens[0]), expected_id(4));
    tokens[0]->Release();

    // Nothing made for the failed calls stayed alive.
    voices.reset();
    EXPECT_EQ(lib.DllCanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace zelvan_tts::sapi_test
