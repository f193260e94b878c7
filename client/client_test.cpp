#include "client/test_command.h"
#include "client/text_preview.h"
#include "client/voice_choice.h"
#include "shared/symbols/symbols.h"

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

TEST(VoiceChoice, IndexOrKey) {
    EXPECT_EQ(parse_voice("0"), 0);
    EXPECT_EQ(parse_voice("59"), 59);
    EXPECT_EQ(parse_voice("ru_azat"), 20);
    EXPECT_EQ(parse_voice("kat_nino"), 12);
    for (const char* bad : {"60", "-1", "", "20x", " 20", "ru_nobody", "RU_AZAT", "99999999999"}) {
        EXPECT_EQ(parse_voice(bad), std::nullopt) << bad;
    }
    EXPECT_NE(unknown_voice_message("60").find("0 to 59"), std::string::npos);
}

TEST(TextPreview, ShowsEveryStepAsTheSynthesisRunsIt) {
    const TextPreview p = preview_text("В 2024 году. Hello, мир @!", 20);
    EXPECT_EQ(p.lang, "rus");
    EXPECT_EQ(p.texts.numbers, "В две тысячи двадцать четыре году. Hello, мир @!");
    EXPECT_EQ(p.texts.homographs, p.texts.numbers);
    EXPECT_EQ(p.texts.stress, p.texts.homographs);
    EXPECT_EQ(p.texts.script, "В две тысячи двадцать четыре году. Хелло, мир @!");
    ASSERT_EQ(p.chunks,
              (std::vector<std::string>{"В две тысячи двадцать четыре году.", "Хелло, мир @!"}));
    ASSERT_EQ(p.ids.size(), 2u);
    EXPECT_EQ(p.ids[0], encode_text(p.chunks[0], SymbolMap::instance()));
    EXPECT_EQ(p.unmapped, std::vector<std::string>{"@ "});

    const TextPreview georgian = preview_text("5 ვაშლი", 12);
    EXPECT_EQ(georgian.texts.numbers, "ხუთი ვაშლი");
    EXPECT_EQ(georgian.texts.script, "хути вашли");
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
}

TEST(ZelvanTtsCommand, TextAsJsonFromArgumentOrStandardInput) {
    const Output r = zelvan_tts("text --voice ru_azat --json 'Дом 5'");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["voice"], 20);
    EXPECT_EQ(json["lang"], "rus");
    EXPECT_EQ(json["numbers"], "Дом пять");
    EXPECT_EQ(json["script"], "Дом пять");
    EXPECT_EQ(json["chunks"], nlohmann::json::array({"Дом пять"}));
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
