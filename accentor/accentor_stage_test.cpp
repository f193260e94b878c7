#include "accentor/accentor_stage.h"

#include "accentor/accentor.h"
#include "accentor/stress_models_root.h"
#include "shared/symbols/code_points.h"
#include "tools/test_accentor_models.h"

#include <gtest/gtest.h>

#include <random>

namespace zelvan_tts {
namespace {

namespace tm = test_models;

using StressStage = StressModelsRoot;

// The model's opinion of a few Russian words; anything else is UNK, whose
// all-zero row picks the first vowel and no ё.
tm::StressModelDesign russian_words(
    tm::StressOutput output = tm::StressOutput::StressAndYo,
    tm::StressEmbedding embedding = tm::StressEmbedding::Quantised) {
    tm::StressModelDesign design;
    design.words = {
        {"молоко", {0, 0, 5}, {}},
        {"корова", {2, 1.5f, 0}, {}},      // vowel 0 only once the embedding is restored
        {"береза", {0, 5, 0}, {0, 0, 5}},  // the second е, and ё there
        {"берег", {0, 5}, {0, 5}},         // ё named for the unstressed е
        {"все", {0, 5}, {0, 5}},           // one vowel: the model is not asked
        {"дом", {-3, 4}, {}},
        {"замок", {0, 5}, {}},  // the exception list overrules this
        {"елка", {0, 5}, {5, 0}},
        {"сорок", {0, 0, 0, 5}, {}},  // a vowel the word does not have
        {"то", {0, 5}, {}},
        {"сорока", {0, 3, 3}, {}},  // a tie goes to the first of the best
    };
    design.output = output;
    design.embedding = embedding;
    return design;
}

const char* const kRussianExceptions = "замок 1 -1\nелка 0 0\n";

struct Case {
    std::string in;
    std::string out;
};

void expect_cases(const std::string& lang, const std::vector<Case>& cases) {
    for (const Case& c : cases)
        EXPECT_EQ(apply_accentor(c.in, lang), c.out) << lang << ": " << c.in;
}

TEST_F(StressStage, RussianWords) {
    tm::write_stress_language(default_dir("ru"), russian_words(), kRussianExceptions);
    expect_cases("rus", {
                            {"молоко", "молок+о"},
                            {"МОЛОКО", "МОЛОК+О"},
                            {"корова", "к+орова"},
                            {"дом", "д+ом"},
                            {"з+амок", "з+амок"},
                            {"2024 OK", "2024 OK"},
                            {"кто-то", "кт+о-то"},
                            {"«молоко»,", "«молок+о»,"},
                            {"береза", "бер+ёза"},
                            {"БЕРЕЗА", "БЕР+ЁЗА"},
                            {"берег", "бер+ег"},
                            {"все", "вс+е"},
                            {"замок", "з+амок"},
                            {"Замок!", "З+амок!"},
                            {"елка", "+ёлка"},
                            {"сорок", "сорок"},
                            {"пирог", "п+ирог"},
                            {"сорока", "сор+ока"},
                            {"мо\xFFлоко", "мо\xFFлок+о"},
                            {"молоко\n\tдом  \r\n\r\nберег", "молок+о\n\tд+ом  \r\n\r\nбер+ег"},
                            {"то", "т+о"},
                            {"", ""},
                            {" \t\n", " \t\n"},
                        });
}

TEST_F(StressStage, YoOnlyWithTheModelsYoOutput) {
    tm::write_stress_language(default_dir("ru"), russian_words(tm::StressOutput::StressOnly),
                              kRussianExceptions);
    expect_cases("rus", {{"береза", "бер+еза"}, {"елка", "+елка"}, {"молоко", "молок+о"}});
}

TEST_F(StressStage, BelarusianAndUkrainianVowels) {
    tm::write_stress_language(default_dir("ru"), russian_words());
    tm::write_stress_language(default_dir("by"), russian_words());
    tm::write_stress_language(default_dir("ua"), russian_words());
    expect_cases("bel", {{"береза", "бер+еза"}, {"іры", "+іры"}, {"дом", "д+ом"}});
    expect_cases("ukr", {{"їжак", "+їжак"}, {"Єдність", "+Єдність"}, {"ы", "ы"}});
    expect_cases("rus", {{"їжак", "їж+ак"}, {"іры", "ір+ы"}});
}

TEST_F(StressStage, OtherLanguagesPassUnchanged) {
    tm::write_stress_language(default_dir("ru"), russian_words());
    for (const char* lang : {"kaz", "ru", "", "RUS"}) {
        EXPECT_EQ(apply_accentor("молоко", lang), "молоко") << lang;
    }
    EXPECT_TRUE((accentor_table().size() == 0));
    EXPECT_EQ(apply_accentor("молоко", "rus"), "молок+о");
}

TEST_F(StressStage, UnusableModelOutputsLeaveTheText) {
    const struct {
        tm::StressOutput output;
        std::string expected;
    } cases[] = {
        {tm::StressOutput::StressAndYo, "бер+ёза, молок+о"},
        {tm::StressOutput::StressOnly, "бер+еза, молок+о"},
        {tm::StressOutput::ExtraElements, "бер+ёза, молок+о"},
        {tm::StressOutput::TooFewRows, "береза, молоко"},
        {tm::StressOutput::NotTuple, "береза, молоко"},
        {tm::StressOutput::OneElement, "береза, молоко"},
        {tm::StressOutput::StressNone, "береза, молоко"},
        {tm::StressOutput::StressNotTensor, "береза, молоко"},
        {tm::StressOutput::Raising, "береза, молоко"},
    };
    for (const auto& c : cases) {
        release_accentors();
        tm::write_stress_language(default_dir("ru"), russian_words(c.output));
        EXPECT_EQ(apply_accentor("береза, молоко", "rus"), c.expected)
            << static_cast<int>(c.output);
    }
}

TEST_F(StressStage, EmbeddingStoredQuantisedOrPlain) {
    for (const auto embedding :
         {tm::StressEmbedding::Quantised, tm::StressEmbedding::Plain,
          tm::StressEmbedding::ScaleNone, tm::StressEmbedding::ZeroPointNone}) {
        release_accentors();
        tm::write_stress_language(default_dir("ru"),
                                  russian_words(tm::StressOutput::StressAndYo, embedding));
        EXPECT_EQ(apply_accentor("корова молоко", "rus"), "к+орова молок+о")
            << static_cast<int>(embedding);
    }
}

TEST_F(StressStage, InstallationRootComesFirst) {
    tm::StressModelDesign other = russian_words();
    other.words[0].stress = {5, 0, 0};  // м+олоко
    tm::write_stress_language(default_dir("ru"), russian_words());
    EXPECT_EQ(apply_accentor("молоко", "rus"), "молок+о");

    use_install_root();
    release_accentors();
    EXPECT_EQ(apply_accentor("молоко", "rus"), "молок+о") << "the root has no stress model";

    tm::write_stress_language(install_dir("ru"), other);
    release_accentors();
    EXPECT_EQ(apply_accentor("молоко", "rus"), "м+олоко");

    // The dictionaries come from the model's own directory, never the other root.
    std::filesystem::remove(install_dir("ru") + "/ngrams.bin");
    release_accentors();
    EXPECT_EQ(apply_accentor("молоко", "rus"), "молоко");
}

TEST_F(StressStage, DictionariesBesideTheModel) {
    tm::write_stress_language(default_dir("ru"), russian_words(), kRussianExceptions);
    std::filesystem::remove(default_dir("ru") + "/exceptions.bin");
    EXPECT_EQ(apply_accentor("замок молоко", "rus"), "зам+ок молок+о");

    std::filesystem::remove(default_dir("ru") + "/ngrams.bin");
    release_accentors();
    EXPECT_EQ(apply_accentor("замок молоко", "rus"), "замок молоко");
}

TEST_F(StressStage, FailedInitialisationLastsUntilRelease) {
    EXPECT_EQ(apply_accentor("молоко", "rus"), "молоко");
    tm::write_stress_language(default_dir("ru"), russian_words());
    EXPECT_EQ(apply_accentor("молоко", "rus"), "молоко") << "not retried";
    release_accentors();
    EXPECT_TRUE((accentor_table().size() == 0));
    EXPECT_EQ(apply_accentor("молоко", "rus"), "молок+о");
}

TEST_F(StressStage, SearchErrorIsRetriedOnTheNextText) {
    tm::write_stress_language(default_dir("ru"), russian_words());
    // A name too long for the file system: an error other than absence.
    setenv("ZELVAN_TTS_MODEL_PATH", ("/" + std::string(300, 'x')).c_str(), 1);
    EXPECT_EQ(apply_accentor("молоко", "rus"), "молоко");
    EXPECT_EQ(accentor_table().size(), 0u) << "the failed instance is not kept";

    unsetenv("ZELVAN_TTS_MODEL_PATH");
    EXPECT_EQ(apply_accentor("молоко", "rus"), "молок+о");
}

TEST_F(StressStage, ReleasedInstanceStaysUsableByItsHolder) {
    tm::write_stress_language(default_dir("ru"), russian_words());
    const std::shared_ptr<Accentor> held = get_accentor("ru");
    ASSERT_TRUE(held->initialized);
    EXPECT_EQ(get_accentor("ru"), held);

    release_accentors();
    EXPECT_TRUE((accentor_table().size() == 0));
    EXPECT_EQ(held->process("молоко"), "молок+о");
    EXPECT_NE(get_accentor("ru"), held);
}

// True when `out` is `in` with "+" inserted before vowels and е, Е written ё,
// Ё, and nothing else changed.
::testing::AssertionResult only_marks_and_yo(const std::string& in, const std::string& out) {
    const std::u32string vowels = U"аоуыэиеяёюАОУЫЭИЕЯЁЮ";
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < in.size() || j < out.size()) {
        if (j < out.size() && out[j] == '+' && (i >= in.size() || in[i] != '+')) {
            const std::u32string next = utf8_to_utf32(std::string_view(out).substr(j + 1, 2));
            if (next.size() != 1 || vowels.find(next[0]) == std::u32string::npos) {
                return ::testing::AssertionFailure() << "mark not before a vowel at " << j;
            }
            ++j;
            continue;
        }
        if (i < in.size() && j < out.size()) {
            const std::string_view a = std::string_view(in).substr(i, 2);
            const std::string_view b = std::string_view(out).substr(j, 2);
            if ((a == "е" && b == "ё") || (a == "Е" && b == "Ё")) {
                i += 2;
                j += 2;
                continue;
            }
            if (in[i] == out[j]) {
                ++i;
                ++j;
                continue;
            }
        }
        return ::testing::AssertionFailure()
               << "differs at input byte " << i << ", output byte " << j;
    }
    return ::testing::AssertionSuccess();
}

TEST_F(StressStage, RandomTextsKeepEveryOtherByte) {
    tm::write_stress_language(default_dir("ru"), russian_words(), kRussianExceptions);
    const std::vector<std::string> fixed = {"молоко",
                                            "береза",
                                            "Береза",
                                            "БЕРЕЗА",
                                            "замок",
                                            "все",
                                            "кто-то",
                                            "елка",
                                            "з+амок",
                                            "OK",
                                            "abc",
                                            "2024",
                                            "7",
                                            "«",
                                            "»",
                                            ",",
                                            ".",
                                            "!",
                                            "-",
                                            "+",
                                            "—",
                                            "…",
                                            "(",
                                            " ",
                                            "  ",
                                            "\t",
                                            "\n",
                                            "\r\n",
                                            "\v",
                                            "\f",
                                            " \t \n",
                                            "\xFF",
                                            "\x80",
                                            "\xD0",
                                            "\xE2\x82",
                                            "\xC0\xAF",
                                            "\xED\xA0\x80",
                                            "\xEF\xBF\xBD",
                                            "\xF4\x90\x80\x80",
                                            "\xD1"};
    const std::u32string letters = U"абвгдеёжзийклмнопрстуфхцчшщъыьэюяАБВЕЁОЮЯІЇЄҐӘӨ";
    std::mt19937 rng(611);
    int changed_texts = 0;
    int yo_texts = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int tokens = static_cast<int>(rng() % 30);
        for (int t = 0; t < tokens; ++t) {
            if (rng() % 3 == 0) {
                std::u32string word;
                const int length = 1 + static_cast<int>(rng() % 8);
                for (int k = 0; k < length; ++k) word += letters[rng() % letters.size()];
                text += utf32_to_utf8(word);
            } else {
                text += fixed[rng() % fixed.size()];
            }
        }
        const std::string once = apply_accentor(text, "rus");
        ASSERT_TRUE(only_marks_and_yo(text, once)) << text << "\n" << once;
        EXPECT_EQ(apply_accentor(once, "rus"), once) << "marked twice: " << text;
        changed_texts += once != text;
        yo_texts += once.find("ё") != std::string::npos && text.find("ё") == std::string::npos;
    }
    // The property means something only when the stage did act.
    EXPECT_GT(changed_texts, 200);
    EXPECT_GT(yo_texts, 10);
}

}  // namespace
}  // namespace zelvan_tts
