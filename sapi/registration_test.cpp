#include "sapi/plugin_fixture.h"
#include "speech_platform/registry_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace zelvan_tts::sapi_test {
namespace {

namespace sp = speech_platform;
using content = std::map<std::string, std::map<std::string, std::string>>;

content registry_content() {
    content out;
    for (const auto& key : sp::registry_keys()) {
        auto& values = out[key];
        for (const auto& name : sp::registry_value_names(key)) {
            values[name] = *sp::registry_value(key, name);
        }
    }
    return out;
}

std::string file_text(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const char* const kEnumClass = "{2D854269-BB1A-4EFD-8C7C-2840711D9051}";
const char* const kEngineClass = "{B695BED8-0422-479B-BF5B-FC2AB170D63D}";

TEST(Registration, WritesTheTableAndIsRepeatable) {
    auto& lib = engine_library();
    // Start from a fresh registry.
    std::filesystem::remove(dirs().registry);
    const content fresh = registry_content();

    ASSERT_EQ(lib.DllRegisterServer(), S_OK);
    const std::string path = std::filesystem::canonical(dirs().library).string();
    const content expected_new = {
        {std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\") + kEnumClass, {}},
        {std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\") + kEnumClass +
             "\\InProcServer32",
         {{"", path}, {"ThreadingModel", "Both"}}},
        {std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\") + kEngineClass, {}},
        {std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\") + kEngineClass +
             "\\InProcServer32",
         {{"", path}, {"ThreadingModel", "Both"}}},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft", {}},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech", {}},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices", {}},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\TokenEnums", {}},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\TokenEnums\\ZelvanTTS",
         {{"", "Zelvan TTS Voices"}, {"CLSID", kEnumClass}}},
    };
    content expected = fresh;
    expected.insert(expected_new.begin(), expected_new.end());
    const content registered = registry_content();
    EXPECT_EQ(registered, expected);

    // Twice gives the same content.
    const std::string first_file = file_text(dirs().registry);
    ASSERT_EQ(lib.DllRegisterServer(), S_OK);
    EXPECT_EQ(registry_content(), registered);
    EXPECT_EQ(file_text(dirs().registry), first_file);

    // Unregistering removes the entries and leaves the shared parents.
    EXPECT_EQ(lib.DllUnregisterServer(), S_OK);
    content after = fresh;
    for (const char* key :
         {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft",
          "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech",
          "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices",
          "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\TokenEnums"}) {
        after[key];
    }
    EXPECT_EQ(registry_content(), after);
    EXPECT_EQ(lib.DllUnregisterServer(), S_OK);
    EXPECT_EQ(registry_content(), after);

    // Nothing registered at all: still S_OK, nothing changes.
    std::filesystem::remove(dirs().registry);
    EXPECT_EQ(lib.DllUnregisterServer(), S_OK);
    EXPECT_EQ(registry_content(), fresh);

    ASSERT_EQ(lib.DllRegisterServer(), S_OK);
}

TEST(Registration, FailsWithoutARegistryAndWritesNothing) {
    auto& lib = engine_library();
    const std::string saved = dirs().registry.string();
    unsetenv("ZELVAN_TTS_REGISTRY");
    EXPECT_EQ(lib.DllRegisterServer(), E_UNEXPECTED);
    EXPECT_EQ(lib.DllUnregisterServer(), S_OK);
    setenv("ZELVAN_TTS_REGISTRY", saved.c_str(), 1);

    // A registry whose CLSID key is missing fails at the first class and
    // writes nothing else.
    {
        std::ofstream out(dirs().registry, std::ios::trunc);
        out << R"({"HKEY_LOCAL_MACHINE\\SOFTWARE": {}})";
    }
    EXPECT_EQ(lib.DllRegisterServer(), E_UNEXPECTED);
    EXPECT_EQ(sp::registry_keys(), std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SOFTWARE"});

    std::filesystem::remove(dirs().registry);
    ASSERT_EQ(lib.DllRegisterServer(), S_OK);
}

}  // namespace
}  // namespace zelvan_tts::sapi_test
