#include "client/test_command.h"
#include "client/text_preview.h"
#include "client/voice_choice.h"
#include "shared/symbols/symbols.h"
#include "tools/test_models.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zelvan_tts {
namespace {

TEST(VoiceChoice, IndexKeyOrName) {
    const std::pair<const char*, int> good[] = {
        {"0", 0},         {"59", 59},   {"ru_azat", 20}, {"kat_nino", 12}, {"RU_AZAT", 20},
        {"Azat (Russian)", 20},         {"azat (bashkir)", 1},
        // A given name is the first voice of that name.
        {"Azat", 1},      {"nino", 12}, {"Aigul 2", 3},
    };
    for (const auto& [argument, voice] : good) EXPECT_EQ(parse_voice(argument), voice) << argument;
    for (const char* bad : {"60", "-1", "", "20x", " 20", "ru_nobody", "99999999999", "Aza",
                            "Azat (", "Azat(Russian)", "Aigul"}) {
        EXPECT_EQ(parse_voice(bad), std::nullopt) << bad;
    }
    EXPECT_NE(unknown_voice_message("60").find("0 to 59"), std::string::npos);
}

TEST(TextPreview, ChunksAndIdsOfTheSpokenText) {
    const TextSteps steps{"В две тысячи двадцать четыре году. Hello, мир @!",
                          "В две тысячи двадцать четыре году. Hello, мир @!",
                          "В две тысячи двадцать четыре году. Hello, мир @!",
                          "В две тысячи двадцать четыре году. Hello, мир @!",
                          "В две тысячи двадцать четыре году. Хелло, мир @!"};
    const TextPreview p = preview_text(steps, 20);
    EXPECT_EQ(p.lang, "rus");
    EXPECT_EQ(p.texts.script, steps.script);
    ASSERT_EQ(p.chunks,
              (std::vector<std::string>{"В две тысячи двадцать четыре году.", "Хелло, мир @!"}));
    ASSERT_EQ(p.ids.size(), 2u);
    EXPECT_EQ(p.ids[0], encode_text(p.chunks[0], SymbolMap::instance()));
    EXPECT_EQ(p.unmapped, std::vector<std::string>{"@ "});
}

TEST(ZelvanTtsCommand, ListsTheVoices) {
    const Output r = zelvan_tts("voices");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        if (count == 20) {
            EXPECT_EQ(line, "20\tru_azat\tAzat (Russian)\trus");
        } else if (count == 3) {
            EXPECT_EQ(line, "3\tbak_aigul2\tAigul 2 (Bashkir)\tbak");
        }
        ++count;
    }
    EXPECT_EQ(count, 60);
    for (const char* alias : {"--list-voices", "say --list-voices"}) {
        EXPECT_EQ(zelvan_tts(alias).out, r.out) << alias;
    }
}

TEST(ZelvanTtsCommand, TextAsJsonFromArgumentOrStandardInput) {
#ifndef ZELVAN_ENGINE_LIBRARY
    // Without the engine library, `text` says what it lacks.
    const Output missing = zelvan_tts("text --voice 20 hi");
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("Cannot load the engine library"), std::string::npos)
        << missing.err;
    return;
#endif
    // The engine that the command loads opens a voice model.
    const auto root = std::filesystem::temp_directory_path() /
                      ("zelvan_text_" + std::to_string(getpid()));
    std::filesystem::create_directories(root);
    test_models::write_voice_model((root / "multivoice_base.bin").string(),
                                   test_models::VoiceModelKind::Timed);
    setenv("ZELVAN_TTS_MODEL_PATH", root.c_str(), 1);
    struct Cleanup {
        std::filesystem::path root;
        ~Cleanup() {
            unsetenv("ZELVAN_TTS_MODEL_PATH");
            std::filesystem::remove_all(root);
        }
    } cleanup{root};

    const Output r = zelvan_tts("text --voice ru_azat --json 'Дом 5'");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["voice"], 20);
    EXPECT_EQ(json["lang"], "rus");
    EXPECT_EQ(json["numbers"], "Дом п+ять");
    EXPECT_EQ(json["script"], "Дом п+ять");
    EXPECT_EQ(json["chunks"], nlohmann::json::array({"Дом п+ять"}));
    EXPECT_EQ(json["ids"][0].front(), 2);
    EXPECT_EQ(json["ids"][0].back(), 1);
    EXPECT_EQ(json["unmapped"], nlohmann::json::array());

    const Output piped = zelvan_tts("text --voice 20 --json", "Дом 5");
    EXPECT_EQ(nlohmann::json::parse(piped.out), json);

    // Malformed UTF-8 is shown, not fatal.
    const Output broken = zelvan_tts("text --voice 20 --json", "a\xFF\xFE b");
    ASSERT_EQ(broken.exit_code, 0) << broken.err;
    EXPECT_EQ(nlohmann::json::parse(broken.out)["unmapped"].size(), 1u);

    const Output plain = zelvan_tts("text --voice 12 'კაცი'");
    ASSERT_EQ(plain.exit_code, 0);
    EXPECT_NE(plain.out.find("script:     к'аци"), std::string::npos) << plain.out;
}

TEST(ZelvanTtsCommand, BadArgumentsExitWithTwo) {
    const std::pair<const char*, const char*> cases[] = {
        {"text --voice 60 hi", "0 to 59"},
        {"text --voice -1 hi", "0 to 59"},
        {"text --voice ru_nobody hi", "unknown voice \"ru_nobody\""},
        {"text hi", "needs --voice"},
        {"text --voice", "needs a value"},
        {"text --voice 1 --loud hi", "unknown option --loud"},
        {"voices extra", "no arguments"},
        {"speak", "unknown command speak"},
        {"", "no command"},
    };
    for (const auto& [args, message] : cases) {
        const Output r = zelvan_tts(args);
        EXPECT_EQ(r.exit_code, 2) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << args << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << args;
    }
}

}  // namespace
}  // namespace zelvan_tts
