#include "com/sdk.h"
#include "speech_platform/registry_store.h"
#include "speech_platform/speech_output.h"
#include "speech_platform/text_fragments.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>

namespace zelvan_tts::speech_platform {
namespace {

namespace fs = std::filesystem;

TEST(TextFragments, TagsBecomeFragmentsWithSourceOffsets) {
    const auto list = parse_text(
        "Да <bookmark mark=\"b1\"/>нет <pitch middle=\"5\">вы<pitch middle=\"7\">со</pitch></pitch>"
        "<spell>аб</spell><silence msec=\"250\"/>");
    struct Expected {
        SPVACTIONS action;
        std::string text;
        ULONG offset;
        LONG pitch;
    };
    const std::vector<Expected> expected = {
        {SPVA_Speak, "Да ", 0, 0},  {SPVA_Bookmark, "b1", 19, 0}, {SPVA_Speak, "нет ", 24, 0},
        {SPVA_Speak, "вы", 46, 5},  {SPVA_Speak, "со", 66, 12},   {SPVA_SpellOut, "аб", 91, 0},
        {SPVA_Silence, "", 101, 0},
    };
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const SPVTEXTFRAG& f = list.at(i);
        EXPECT_EQ(f.State.eAction, expected[i].action) << i;
        EXPECT_EQ(com::to_utf8(com::wstring(f.pTextStart, f.ulTextLen)), expected[i].text) << i;
        EXPECT_EQ(f.ulTextSrcOffset, expected[i].offset) << i;
        EXPECT_EQ(f.State.PitchAdj.MiddleAdj, expected[i].pitch) << i;
        EXPECT_EQ(f.pNext, i + 1 < expected.size() ? &list.at(i + 1) : nullptr);
    }
    EXPECT_EQ(list.at(6).State.SilenceMSecs, 250u);
    EXPECT_EQ(parse_text("").head(), nullptr);

    for (const char* bad : {"<b>x</b>", "a <pitch middle=\"x\">b</pitch>", "<pitch middle=\"1\">a",
                            "a</spell>", "<bookmark mark=\"x\">", "a < b"}) {
        EXPECT_THROW(parse_text(bad), std::invalid_argument) << bad;
    }
}

TEST(RegistryStore, KeysValuesAndDeletion) {
    const fs::path file =
        fs::temp_directory_path() / ("zelvan_registry_test." + std::to_string(getpid()));
    setenv(kRegistryVariable, file.c_str(), 1);
    const auto w = [](const char* s) { return com::to_wide(s); };

    HKEY key = nullptr;
    EXPECT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, w("Software\\Classes\\clsid").c_str(), 0, KEY_READ, &key),
        ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, w("SOFTWARE\\Nothing").c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);

    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, w("software\\A\\B").c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const com::wstring data = w("value");
    EXPECT_EQ(RegSetValueExW(key, w("Name").c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(registry_value("HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B", "name"), "value");
    EXPECT_EQ(registry_subkeys("HKEY_LOCAL_MACHINE\\SOFTWARE"),
              (std::vector<std::string>{"Classes", "A"}));

    // A key opened without write access takes no values and no subkeys.
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, w("SOFTWARE\\A").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, w("x").c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(data.c_str()), 2),
              ERROR_ACCESS_DENIED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key, w("C").c_str(), 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr),
              ERROR_ACCESS_DENIED);
    // A key with subkeys stays; without them it goes.
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, w("SOFTWARE\\A").c_str()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(key, w("b").c_str()), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(key, w("b").c_str()), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(registry_value("HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B", "Name"), std::nullopt);

    fs::remove(file);
    unsetenv(kRegistryVariable);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, w("SOFTWARE").c_str(), 0, KEY_READ, &key),
              ERROR_ACCESS_DENIED);
}

TEST(SpeechOutput, EventsAsJson) {
    recorded_event mark{SPEI_TTS_BOOKMARK, SPET_LPARAM_IS_STRING, 0, 10, 42, 0, com::to_wide("42")};
    recorded_event word{SPEI_WORD_BOUNDARY, SPET_LPARAM_IS_UNDEFINED, 0, 96, 3, 17, {}};
    recorded_event other{SPEI_PHONEME, SPET_LPARAM_IS_UNDEFINED, 0, 0, 0, 0, {}};
    const auto json = nlohmann::json::parse(events_json({mark, other, word}));
    EXPECT_EQ(json, nlohmann::json::parse(R"([
        {"event": "bookmark", "offset": 10, "wparam": 42, "lparam": "42"},
        {"event": "word", "offset": 96, "wparam": 3, "lparam": 17}])"));
}

}  // namespace
}  // namespace zelvan_tts::speech_platform
