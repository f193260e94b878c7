#include "homosolver/homograph_stage.h"

#include "homosolver/homograph_test_fixture.h"
#include "homosolver/homosolver.h"
#include "tools/test_homosolver_models.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace zelvan_tts {
namespace {

using test_models::HomographModelKind;
using test_models::HomographResources;
using test_models::standard_homograph_resources;

using HomographStage = HomographFiles;

TEST_F(HomographStage, ActsOnRussianOnly) {
    install(standard_homograph_resources());
    EXPECT_EQ(apply_homosolver("Замок и все.", "rus"), "Зам+ок и всё.");
    for (const char* language : {"ukr", "bel", "kaz", "RUS", "ru", ""}) {
        EXPECT_EQ(apply_homosolver("Замок и все.", language), "Замок и все.") << language;
    }
}

TEST_F(HomographStage, FailedLoadIsKeptUntilReleased) {
    EXPECT_EQ(apply_homosolver("замок", "rus"), "замок");
    const std::shared_ptr<HomoSolver> failed = get_homosolver();
    EXPECT_FALSE(failed->initialized);

    install(standard_homograph_resources());
    EXPECT_EQ(apply_homosolver("замок", "rus"), "замок") << "not retried";
    EXPECT_EQ(get_homosolver(), failed);

    release_homosolver();
    EXPECT_EQ(apply_homosolver("замок", "rus"), "зам+ок");
    EXPECT_TRUE(get_homosolver()->initialized);
}

TEST_F(HomographStage, ResourcesAreLoadedOnceUntilReleased) {
    HomographResources resources = standard_homograph_resources();
    install(resources);
    EXPECT_EQ(apply_homosolver("замок", "rus"), "зам+ок");

    resources.model.word_logits["замок"] = -2.0f;
    install(resources);
    EXPECT_EQ(apply_homosolver("замок", "rus"), "зам+ок") << "the loaded model stays";
    release_homosolver();
    release_homosolver();  // releasing an empty slot does nothing
    EXPECT_EQ(apply_homosolver("замок", "rus"), "з+амок");
}

TEST_F(HomographStage, AnInitialisationErrorLeavesTheSlotEmptyForARetry) {
    // A root whose name is too long makes the existence test itself fail.
    const std::string too_long = "/tmp/" + std::string(300, 'r');
    setenv("ZELVAN_TTS_MODEL_PATH", too_long.c_str(), 1);
    EXPECT_THROW(get_homosolver(), std::exception);
    EXPECT_EQ(apply_homosolver("замок", "rus"), "замок");

    setenv("ZELVAN_TTS_MODEL_PATH", root_.c_str(), 1);
    install(standard_homograph_resources());
    EXPECT_EQ(apply_homosolver("замок", "rus"), "зам+ок");
}

TEST_F(HomographStage, ModelFailuresReturnTheInputWhole) {
    for (const auto kind : {HomographModelKind::Raising, HomographModelKind::TwoPerRow}) {
        HomographResources resources = standard_homograph_resources();
        resources.model.kind = kind;
        install(resources);
        release_homosolver();
        const std::string text = "Замок, все и мука.";
        EXPECT_EQ(apply_homosolver(text, "rus"), text) << static_cast<int>(kind);
        EXPECT_TRUE(get_homosolver()->initialized);
    }
}

TEST_F(HomographStage, FirstUseFromSeveralThreadsLoadsOneInstance) {
    install(standard_homograph_resources());
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] { results[i] = apply_homosolver("замок", "rus"); });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& result : results) EXPECT_EQ(result, "зам+ок");
    const std::shared_ptr<HomoSolver> first = get_homosolver();
    EXPECT_EQ(get_homosolver(), first);
}

// Random texts of words and separators: only the dictionary words change,
// each into the form its logit calls for; everything else, undecodable bytes
// included, comes back byte for byte.
TEST_F(HomographStage, OnlyDictionaryWordsChange) {
    install(standard_homograph_resources());
    const struct {
        const char* word;
        const char* resolved;
    } words[] = {
        // Dictionary words (standard logits: замок forms and все +2, мука -2,
        // the rest read as [UNK] or untrained, -1).
        {"замок", "зам+ок"},
        {"Замок", "Зам+ок"},
        {"ЗАМОК", "ЗАМ+ОК"},
        {"все", "всё"},
        {"Все", "Все"},
        {"мука", "м+ука"},
        {"Мука", "М+ука"},
        {"МУКА", "М+УКА"},
        // Other words.
        {"кот", "кот"},
        {"замки", "замки"},
        {"зам+ок", "зам+ок"},
        {"вс+ё", "вс+ё"},
        {"Москва", "Москва"},
        {"ёж", "ёж"},
        {"і", "і"},
        {"ѣ", "ѣ"},
    };
    const std::string separators[] = {
        " ",    ", ",   "-", ". ",           "\n", "\r\n", "\t",    "1",  "abc",    "\u00A0",
        "\xFF", "\xC3", "—", "\xEF\xBF\xBD", " «", "» ",   "[SEP]", "+ ", {"\0", 1}};
    std::mt19937 random(20240607);
    for (int round = 0; round < 150; ++round) {
        std::string text;
        std::string expected;
        const int count = std::uniform_int_distribution<int>(1, 30)(random);
        for (int i = 0; i < count; ++i) {
            const auto& w = words[random() % std::size(words)];
            const std::string separator = separators[random() % std::size(separators)];
            text += w.word;
            // A "+" right after a word makes it an already marked one.
            expected += separator[0] == '+' ? w.word : w.resolved;
            if (i + 1 < count || separator[0] == '+' || random() % 2 == 0) {
                text += separator;
                expected += separator;
            }
        }
        if (random() % 2 == 0) {
            text.insert(0, "\xFF ");
            expected.insert(0, "\xFF ");
        }
        ASSERT_EQ(apply_homosolver(text, "rus"), expected) << text;
    }
}

}  // namespace
}  // namespace zelvan_tts
