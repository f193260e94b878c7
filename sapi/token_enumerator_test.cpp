#include "com/out_ptr.h"
#include "sapi/plugin_fixture.h"
#include "shared/symbols/speakers.h"
#include "speech_platform/com_runtime.h"
#include "speech_platform/platform_session.h"

#include <gtest/gtest.h>

namespace zelvan_tts::sapi_test {
namespace {

namespace sp = speech_platform;

com::ptr<IEnumSpObjectTokens> new_enumerator() {
    auto list = sp::open_token_enumerators(engine_library());
    EXPECT_EQ(list.size(), 1u);
    return std::move(list.at(0));
}

std::string display_name(ISpObjectToken* token) {
    return com::to_utf8(sp::token_display_name(token));
}

std::string expected_name(int voice) {
    return com::to_utf8(reinterpret_cast<const WCHAR*>(speakers[voice].display_name));
}

std::string string_value(ISpDataKey* key, const char* name, HRESULT* result = nullptr) {
    utils::out_ptr text(&CoTaskMemFree);
    const HRESULT hr =
        key->GetStringValue(name ? com::to_wide(name).c_str() : nullptr, text.receive());
    if (result != nullptr) *result = hr;
    return text.get() ? com::to_utf8(text.get()) : std::string("<null>");
}

TEST(TokenEnumerator, NextSkipResetCloneItem) {
    const auto allocations = sp::outstanding_allocations();
    {
        auto e = new_enumerator();
        ULONG count = 0;
        ASSERT_EQ(e->GetCount(&count), S_OK);
        EXPECT_EQ(count, 60u);
        EXPECT_EQ(e->GetCount(nullptr), E_POINTER);

        ISpObjectToken* tokens[61] = {};
        ULONG fetched = 99;
        EXPECT_EQ(e->Next(0, tokens, &fetched), E_INVALIDARG);
        EXPECT_EQ(e->Next(1, nullptr, &fetched), E_POINTER);
        EXPECT_EQ(e->Next(5, tokens, nullptr), E_POINTER);
        ASSERT_EQ(e->Next(60, tokens, &fetched), S_OK);
        EXPECT_EQ(fetched, 60u);
        for (int i = 0; i < 60; ++i) {
            EXPECT_EQ(display_name(tokens[i]), expected_name(i));
            tokens[i]->Release();
        }
        fetched = 99;
        EXPECT_EQ(e->Next(1, tokens, &fetched), S_FALSE);
        EXPECT_EQ(fetched, 0u);

        // Skip past the end, then back to the start.
        e->Reset();
        EXPECT_EQ(e->Skip(100), S_FALSE);
        EXPECT_EQ(e->Next(1, tokens, nullptr), S_FALSE);
        EXPECT_EQ(e->Reset(), S_OK);
        ASSERT_EQ(e->Next(1, tokens, nullptr), S_OK);
        EXPECT_EQ(display_name(tokens[0]), expected_name(0));
        tokens[0]->Release();

        // A clone starts where its source stood and moves on its own.
        e->Reset();
        EXPECT_EQ(e->Skip(10), S_OK);
        com::ptr<IEnumSpObjectTokens> clone;
        EXPECT_EQ(e->Clone(nullptr), E_POINTER);
        ASSERT_EQ(e->Clone(clone.receive()), S_OK);
        ASSERT_EQ(clone->Next(3, tokens, &fetched), S_OK);
        EXPECT_EQ(display_name(tokens[0]), expected_name(10));
        for (int i = 0; i < 3; ++i) tokens[i]->Release();
        ASSERT_EQ(e->Next(1, tokens, nullptr), S_OK);
        EXPECT_EQ(display_name(tokens[0]), expected_name(10));
        tokens[0]->Release();
        // Fewer left than asked for: what is left, S_FALSE.
        EXPECT_EQ(clone->Skip(45), S_OK);
        ASSERT_EQ(clone->Next(5, tokens, &fetched), S_FALSE);
        EXPECT_EQ(fetched, 2u);
        EXPECT_EQ(display_name(tokens[1]), expected_name(59));
        for (int i = 0; i < 2; ++i) tokens[i]->Release();

        ISpObjectToken* item = reinterpret_cast<ISpObjectToken*>(1);
        EXPECT_EQ(e->Item(60, &item), SPERR_NO_MORE_ITEMS);
        EXPECT_EQ(item, nullptr);
        EXPECT_EQ(e->Item(0, nullptr), E_POINTER);
        ASSERT_EQ(e->Item(59, &item), S_OK);
        EXPECT_EQ(display_name(item), expected_name(59));
        // Item leaves the position alone.
        ASSERT_EQ(e->Next(1, tokens, nullptr), S_OK);
        EXPECT_EQ(display_name(tokens[0]), expected_name(11));
        tokens[0]->Release();

        utils::out_ptr id(&CoTaskMemFree);
        ASSERT_EQ(item->GetId(id.receive()), S_OK);
        EXPECT_EQ(
            com::to_utf8(id.get()),
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\TokenEnums\\ZelvanTTS\\" +
                expected_name(59));
        item->Release();
    }
    EXPECT_TRUE(library_idle());
    EXPECT_EQ(sp::live_tokens().load(), 0);
    EXPECT_EQ(sp::outstanding_allocations(), allocations);
}

TEST(TokenEnumerator, TokenDataAndAttributes) {
    auto e = new_enumerator();
    // The voice whose language identifier is 0x0423.
    int belarusian = -1;
    for (int i = 0; i < 60; ++i) {
        if (speakers[i].lcid == 0x0423) belarusian = i;
    }
    ASSERT_GE(belarusian, 0);

    for (const int voice : {0, belarusian, 59}) {
        com::ptr<ISpObjectToken> token;
        ASSERT_EQ(e->Item(voice, token.receive()), S_OK);
        HRESULT hr = S_OK;
        EXPECT_EQ(string_value(token.get(), nullptr), expected_name(voice));
        EXPECT_EQ(string_value(token.get(), "clsid"), "{B695BED8-0422-479B-BF5B-FC2AB170D63D}");
        EXPECT_EQ(string_value(token.get(), "Missing", &hr), "<null>");
        EXPECT_EQ(hr, SPERR_NOT_FOUND);
        EXPECT_EQ(token->GetStringValue(nullptr, nullptr), E_POINTER);

        // Read-only: writes fail and change nothing.
        EXPECT_EQ(token->SetStringValue(com::to_wide("CLSID").c_str(), com::to_wide("x").c_str()),
                  E_NOTIMPL);
        EXPECT_EQ(token->DeleteValue(com::to_wide("CLSID").c_str()), E_NOTIMPL);
        EXPECT_EQ(string_value(token.get(), "CLSID"), "{B695BED8-0422-479B-BF5B-FC2AB170D63D}");

        com::ptr<ISpDataKey> attributes;
        EXPECT_EQ(token->OpenKey(com::to_wide("Attribute").c_str(), attributes.receive()),
                  SPERR_NOT_FOUND);
        EXPECT_EQ(token->OpenKey(nullptr, attributes.receive()), E_INVALIDARG);
        ASSERT_EQ(token->OpenKey(com::to_wide("ATTRIBUTES").c_str(), attributes.receive()), S_OK);
        EXPECT_EQ(string_value(attributes.get(), "SpeakerId"), std::to_string(voice));
        EXPECT_EQ(string_value(attributes.get(), "speakerid"), std::to_string(voice));
        EXPECT_EQ(string_value(attributes.get(), "Name"), expected_name(voice));
        EXPECT_EQ(string_value(attributes.get(), "Gender"), "Neutral");
        EXPECT_EQ(string_value(attributes.get(), "Age"), "Adult");
        EXPECT_EQ(string_value(attributes.get(), "Vendor"), "Zelvan");
        EXPECT_EQ(string_value(attributes.get(), nullptr), "");
        if (voice == belarusian) {
            EXPECT_EQ(string_value(attributes.get(), "Language"), "423");
        }

        // Keys and values in their case-insensitive order.
        std::vector<std::string> names;
        for (ULONG i = 0;; ++i) {
            utils::out_ptr name(&CoTaskMemFree);
            if (attributes->EnumValues(i, name.receive()) != S_OK) break;
            names.push_back(com::to_utf8(name.get()));
        }
        EXPECT_EQ(names, (std::vector<std::string>{"Age", "Gender", "Language", "Name", "SpeakerId",
                                                   "Vendor"}));
        utils::out_ptr name(&CoTaskMemFree);
        EXPECT_EQ(attributes->EnumKeys(0, name.receive()), SPERR_NO_MORE_ITEMS);
        EXPECT_EQ(token->EnumKeys(1, name.receive()), SPERR_NO_MORE_ITEMS);
        ASSERT_EQ(token->EnumKeys(0, name.receive()), S_OK);
        EXPECT_EQ(com::to_utf8(name.get()), "Attributes");
        ASSERT_EQ(token->EnumValues(0, name.receive()), S_OK);
        EXPECT_EQ(com::to_utf8(name.get()), "CLSID");
        EXPECT_EQ(token->EnumValues(1, name.receive()), SPERR_NO_MORE_ITEMS);
    }
}

}  // namespace
}  // namespace zelvan_tts::sapi_test
