// The registry helpers of registration on Wine's registry, in a scratch key
// of the current user, and the two texts they make for it.
#include "sapi/class_ids.h"
#include "com/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelvan_tts::registry {
namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

class RegistryHelpers : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_ = L"Software\\ZelvanTTS registry test " + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str()); }

    // The raw bytes of a value under the scratch key, and its type.
    std::vector<BYTE> raw_value(const std::wstring& subkey, const wchar_t* name, DWORD* type) {
        HKEY handle = nullptr;
        std::vector<BYTE> data;
        const std::wstring path = scratch_ + L"\\" + subkey;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE | kView, &handle) !=
            ERROR_SUCCESS) {
            return data;
        }
        DWORD size = 0;
        if (RegQueryValueExW(handle, name, nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
            data.resize(size);
            RegQueryValueExW(handle, name, nullptr, type, data.data(), &size);
        }
        RegCloseKey(handle);
        return data;
    }

    bool exists(const std::wstring& subkey) {
        HKEY handle = nullptr;
        const std::wstring path = scratch_ + L"\\" + subkey;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | kView, &handle) !=
            ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(handle);
        return true;
    }

    std::wstring scratch_;
};

std::vector<BYTE> bytes_with_null(const std::wstring& text) {
    const auto* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

TEST_F(RegistryHelpers, StringValuesKeepTheirTerminatingNull) {
    const key base = open_key(HKEY_CURRENT_USER, scratch_, KEY_CREATE_SUB_KEY | kView, true);
    const key server = open_key(base.get(), L"InProcServer32", KEY_SET_VALUE | kView, true);
    struct Case {
        const wchar_t* name;  // empty: the default value
        std::wstring data;
    };
    const Case cases[] = {
        {L"", L"C:\\Program Files\\Zelvan\\zelvan_tts_sapi.dll"},
        {L"ThreadingModel", L"Both"},
        {L"Empty", L""},
        {L"Letters", L"\u0413\u043e\u043b\u043e\u0441 \u10e5\u10d0\u10e0"},
    };
    for (const Case& c : cases) set_string_value(server.get(), c.name, c.data);
    for (const Case& c : cases) {
        SCOPED_TRACE(com::to_utf8(c.name));
        DWORD type = REG_NONE;
        EXPECT_EQ(raw_value(L"InProcServer32", c.name[0] ? c.name : nullptr, &type),
                  bytes_with_null(c.data));
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    }
    // Writing again replaces the value.
    set_string_value(server.get(), L"ThreadingModel", L"Apartment");
    DWORD type = REG_NONE;
    EXPECT_EQ(raw_value(L"InProcServer32", L"ThreadingModel", &type),
              bytes_with_null(L"Apartment"));
}

TEST_F(RegistryHelpers, FailuresThrowTheirOwnTexts) {
    const auto message_of = [](auto&& step) -> std::string {
        try {
            step();
        } catch (const error& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(message_of([&] { open_key(HKEY_CURRENT_USER, scratch_, KEY_READ | kView, false); }),
              "Unable to open/create a registry key");

    const key base = open_key(HKEY_CURRENT_USER, scratch_, KEY_CREATE_SUB_KEY | kView, true);
    {
        const key clsid = open_key(base.get(), L"{CLSID}", KEY_CREATE_SUB_KEY | kView, true);
        open_key(clsid.get(), L"InProcServer32", KEY_SET_VALUE | kView, true);
        const key read_only = open_key(base.get(), L"{CLSID}", KEY_READ | kView, false);
        EXPECT_EQ(message_of([&] { set_string_value(read_only.get(), L"x", L"y"); }),
                  "Unable to write a value in the registry");
    }
    // A key with a subkey stays; without it, it goes.
    EXPECT_EQ(message_of([&] { delete_key(base.get(), L"{CLSID}"); }),
              "Unable to delete a registry key");
    EXPECT_TRUE(exists(L"{CLSID}\\InProcServer32"));
    {
        const key clsid = open_key(base.get(), L"{CLSID}", KEY_READ | kView, false);
        delete_key(clsid.get(), L"InProcServer32");
    }
    delete_key(base.get(), L"{CLSID}");
    EXPECT_FALSE(exists(L"{CLSID}"));
    EXPECT_EQ(message_of([&] { delete_key(base.get(), L"{CLSID}"); }),
              "Unable to delete a registry key");
}

TEST(RegistryTexts, ClassIdsAreBracedUpperCaseAndTheModuleIsThisProgram) {
    EXPECT_EQ(clsid_string(sapi::CLSID_ZelvanTokenEnum), L"{2D854269-BB1A-4EFD-8C7C-2840711D9051}");
    EXPECT_EQ(clsid_string(sapi::CLSID_ZelvanEngine), L"{B695BED8-0422-479B-BF5B-FC2AB170D63D}");

    // Linked into this program, the helpers find the program's own file.
    wchar_t program[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH * 4);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(module_path(), std::wstring(program, length));
}

}  // namespace
}  // namespace zelvan_tts::registry
