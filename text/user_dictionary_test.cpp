#include "text/user_dictionary.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

TEST(UserDictionaryTest, ReplacesWholeWordsByCaseAndLanguage) {
    const UserDictionary dictionary = UserDictionary::parse(
        "\xEF\xBB\xBF# a comment\r\n"
        "замок = з+амок\r\n"
        "\n"
        "Иванов=Иван+ов\n"
        "все=всё\n"
        "ПО=пэ о\n"
        "т.е.=то есть\n"
        "т=тэ\n"
        "тома=том+а\n"
        "Тома=Т+ома\n"
        "кто-нибудь=кт+о-нибудь\n"
        "zelvan=зэлван  # the brand\n"
        "эхо=+эхо\n"
        "все=всё\n"
        "[UK]\n"
        "замок=зам+ок\n"
        "п'ять=п'+ять\n"
        "[kaz]\n"
        "алма=алм+а\n");
    struct Case {
        const char* lang;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"rus", "", ""},
        {"rus", "замок", "з+амок"},
        {"rus", "Замок на двери.", "З+амок на двери."},
        {"rus", "ЗАМОК", "З+амок"},
        {"rus", "«Замок», (замок)!", "«З+амок», (з+амок)!"},
        {"rus", "замки, зам+ок, +замок, замокзамок", "замки, зам+ок, +замок, замокзамок"},
        {"rus", "Иванов и иванов", "Иван+ов и иванов"},
        {"rus", "Все, все", "Всё, всё"},
        {"rus", "ПО и по", "пэ о и по"},
        {"rus", "т.е. так, т.к. т", "то есть так, тэ.к. тэ"},
        {"rus", "Тома и тома", "Т+ома и том+а"},
        {"rus", "кто-нибудь, кто-нибудьс", "кт+о-нибудь, кто-нибудьс"},
        {"rus", "Zelvan TTS", "Зэлван TTS"},
        {"rus", "Эхо", "+Эхо"},
        {"rus", "\xD0замок\xFF", "\xD0з+амок\xFF"},
        {"ukr", "замок, п'ять, П’ять", "зам+ок, п'+ять, П'+ять"},
        {"kaz", "Алма", "Алм+а"},
        {"bel", "замок", "замок"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dictionary.apply(c.text, c.lang), c.expected) << c.lang << ": " << c.text;
    }
    EXPECT_EQ(dictionary.size(), 14u) << "a repeated word overrides the earlier line";
}

TEST(UserDictionaryTest, SkipsAndReportsWhatItCannotRead) {
    std::vector<DictionaryProblem> problems;
    const UserDictionary dictionary = UserDictionary::parse(
        "замок=з+амок\n"
        "без равенства\n"
        "=пусто\n"
        "слово=\n"
        "два слова=x\n"
        "mp3=эм пэ три\n"
        "[xx]\n"
        "замок=не отсюда\n"
        "[kk\n"
        "\xFF=x\n"
        "[ru]\n"
        "-тире=x\n"
        "ок=окей  # a comment\n",
        &problems);
    std::vector<std::size_t> lines;
    for (const DictionaryProblem& p : problems) lines.push_back(p.line);
    EXPECT_EQ(lines, (std::vector<std::size_t>{2, 3, 4, 5, 6, 7, 9, 10, 12}));
    EXPECT_EQ(dictionary.size(), 2u);
    EXPECT_EQ(dictionary.apply("замок ок", "rus"), "з+амок окей");

    const fs::path dir =
        fs::temp_directory_path() / ("zelvan_dictionary_" + std::to_string(getpid()));
    fs::create_directories(dir);
    problems.clear();
    EXPECT_EQ(UserDictionary::load(dir / "missing.txt", &problems).size(), 0u);
    EXPECT_TRUE(problems.empty()) << "no file is no dictionary, not a problem";
    EXPECT_EQ(UserDictionary::load(dir, &problems).size(), 0u);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].line, 0u);

    // Past the limit (a sparse file, so the test writes little): the whole
    // lines before it are read, the rest is reported once and ignored.
    const fs::path huge = dir / "dictionary.txt";
    std::ofstream(huge, std::ios::binary) << "замок=з+амок\n";
    fs::resize_file(huge, kMaxDictionaryBytes + 10);
    std::ofstream(huge, std::ios::binary | std::ios::app) << "\nок=окей\n";
    problems.clear();
    const UserDictionary cut = UserDictionary::load(huge, &problems);
    EXPECT_EQ(cut.apply("замок ок", "rus"), "з+амок ок");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].line, 2u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zelvan_tts
