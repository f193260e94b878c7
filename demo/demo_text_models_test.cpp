// The demo stress model (trained, committed) and the demonstration homograph
// resolver, read from a models root through the engine's own stages, as the
// programs read build/models.
#include "accentor/accentor_stage.h"
#include "demo/homograph_demo.h"
#include "demo/stress_features.h"
#include "core/data_files.h"
#include "engine/text_stages.h"
#include "engine/word_spans.h"
#include "text/user_dictionary.h"
#include "text/normalization.h"
#include "text/written_forms.h"
#include "text/transliteration.h"
#include "homosolver/homograph_stage.h"

#include <gtest/gtest.h>
#include <torch/script.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

namespace zelvan_tts::demo {
namespace {

namespace fs = std::filesystem;

class DemoTextModels : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = fs::temp_directory_path() / ("zelvan_demo_models_" + std::to_string(getpid()));
        fs::create_directories(root_ / "accentor");
        fs::copy(DEMO_STRESS_DIR, root_ / "accentor" / "ru", fs::copy_options::recursive);
        write_homograph_demo(DEMO_HOMOGRAPH_SOURCE, (root_ / "homosolver").string());
        setenv("ZELVAN_TTS_MODEL_PATH", root_.c_str(), 1);
    }
    static void TearDownTestSuite() {
        unsetenv("ZELVAN_TTS_MODEL_PATH");
        fs::remove_all(root_);
    }
    static fs::path root_;
};
fs::path DemoTextModels::root_;

TEST_F(DemoTextModels, StressModelMarksCommonWords) {
    const struct {
        const char* text;
        const char* stressed;
    } cases[] = {
        {"молоко", "молок+о"},
        {"Хорошо, говорить красиво.", "Хорош+о, говор+ить крас+иво."},
        {"МОЛОКО", "МОЛОК+О"},
        {"работа человека", "раб+ота челов+ека"},
        {"дом", "д+ом"},
        {"з+амок", "з+амок"},
        {"кто-то пришёл", "кт+о-то приш+ёл"},
    };
    for (const auto& c : cases) EXPECT_EQ(apply_accentor(c.text, "rus"), c.stressed) << c.text;
    // No demo model for Belarusian and Ukrainian: their texts pass unchanged.
    EXPECT_EQ(apply_accentor("малако", "bel"), "малако");
    EXPECT_EQ(apply_accentor("молоко", "ukr"), "молоко");
}

TEST_F(DemoTextModels, StressModelComputesTheTrainersFeatures) {
    // The trainer describes vowels in C++, the model in TorchScript: both
    // must give the same strings, or the trained rows are read for the wrong ones.
    std::vector<std::uint8_t> payload;
    ASSERT_TRUE(decrypt_file((root_ / "accentor/ru/zelvan_accentor.bin").string(), payload));
    std::istringstream in(std::string(payload.begin(), payload.end()));
    torch::jit::Module model = torch::jit::load(in);
    for (const std::string word : {"а", "молоко", "достопримечательность", "ёж", "вы", "бкв",
                                   "аэроэкспресс", "выкупаться"}) {
        const c10::IValue out = model.get_method("features")({c10::IValue(word)});
        std::vector<std::vector<std::string>> got;
        for (const c10::IValue& vowel : out.toListRef()) {
            got.emplace_back();
            for (const c10::IValue& f : vowel.toListRef()) got.back().push_back(f.toStringRef());
        }
        EXPECT_EQ(got, stress_features(word)) << word;
    }
}

TEST_F(DemoTextModels, HomographResolverFollowsContextWords) {
    const struct {
        const char* text;
        const char* resolved;
    } cases[] = {
        {"Старинный замок стоит на холме.", "Старинный з+амок стоит на холме."},
        {"В двери сломался замок, нужен ключ.", "В двери сломался зам+ок, нужен ключ."},
        {"ЗАМОК", "З+АМОК"},
        {"Мука для хлеба и пирогов.", "Мук+а для хлеба и пирогов."},
        {"Адская мука.", "Адская м+ука."},
        // One vowel: the chosen variant gives its ё but no mark.
        {"Это все хорошо, а все гости ушли.", "Это всё хорошо, а все гости ушли."},
        {"На часах стрелки показывают полдень.", "На часах стрелк+и показывают полдень."},
        {"Меткие стрелки и солдаты.", "Меткие стр+елки и солдаты."},
        {"Без ключевых слов.", "Без ключевых слов."},
    };
    for (const auto& c : cases) EXPECT_EQ(apply_homosolver(c.text, "rus"), c.resolved) << c.text;
    EXPECT_EQ(apply_homosolver("Старинный замок.", "bel"), "Старинный замок.");
}

TEST_F(DemoTextModels, BlockByBlockStagesEqualTheWholeText) {
    // Homographs with the context words that decide them, numbers, Latin
    // words and sentence ends, shuffled so that homographs and their cues
    // fall on both sides of block edges.
    const std::vector<std::string> words = {
        "замок", "Замок", "старинный", "ключ", "двери", "мука", "хлеба", "все", "гости",
        "стрелки", "часах", "Меткие", "молоко", "хорошо", "250", "-7", "Hello", "кто-то",
        "работа", "человека", "и", "на", "в", "1999", "world"};
    const std::vector<std::string> ends = {" ", " ", " ", ", ", ". ", "! ", "?\n", ".\n\n",
                                           "\t", ";  "};
    std::mt19937 random(20261210);
    const RuntimeSettings both{true, true};
    for (const std::size_t size : {200u, 5000u, 40000u}) {
        std::string text;
        while (text.size() < size) {
            text += words[random() % words.size()];
            text += ends[random() % ends.size()];
        }
        ProcessedText whole;
        // Written forms are read over the whole text too: a block reads the
        // words around it as context.
        whole.numbers = normalize_numbers(read_written_forms(text, "rus"), "rus");
        whole.homographs = apply_homosolver(whole.numbers, "rus");
        whole.stress = apply_accentor(whole.homographs, "rus");
        whole.script = transliterate(whole.stress, "rus");
        const ProcessedText blocks = process_text(text, "rus", both);
        EXPECT_EQ(blocks.numbers, whole.numbers) << size;
        EXPECT_EQ(blocks.homographs, whole.homographs) << size;
        EXPECT_EQ(blocks.stress, whole.stress) << size;
        EXPECT_EQ(blocks.script, whole.script) << size;
        EXPECT_NE(whole.homographs, whole.numbers) << "some homograph was resolved";
    }
}

TEST_F(DemoTextModels, TheUsersDictionaryComesBeforeHomographsAndStress) {
    const UserDictionary dictionary = UserDictionary::parse("замок=з+амок\nПО=пэ о\n");
    TextStepsOptions options;
    options.dictionary = &dictionary;
    const std::string text = "В двери сломался замок, нужно ПО.";
    const ProcessedText out = process_text(text, "rus", options);
    EXPECT_EQ(out.dictionary, "В двери сломался з+амок, нужно пэ о.");
    // The context calls for зам+ок; the user's stress stands through both stages.
    EXPECT_NE(out.stress.find("з+амок,"), std::string::npos) << out.stress;
    EXPECT_EQ(process_text(text, "rus", RuntimeSettings{}).homographs.find("з+амок"),
              std::string::npos);
    // Both words of the replacement point at the word the user wrote.
    std::vector<std::string> spans;
    for (const ChunkWords& chunk : chunk_words(text, out.script, "rus", 250, &dictionary)) {
        for (const WordSpan& w : chunk.words) spans.push_back(text.substr(w.offset, w.length));
    }
    EXPECT_EQ(spans, (std::vector<std::string>{"В", "двери", "сломался", "замок,", "нужно", "ПО.",
                                               "ПО."}));
}

TEST_F(DemoTextModels, OverlongInputsStayLinear) {
    // A 10,000-letter word, a text without spaces or sentence ends, and a
    // long run of punctuation: each passes every stage, the long word
    // without a stress mark.
    std::string letters;
    for (int i = 0; i < 10000; ++i) letters += "а";
    std::string glued;
    for (int i = 0; i < 20000; ++i) glued += "замок,";
    const std::string marks(1000000, '!');
    for (const std::string& text : {letters + " молоко", glued, marks}) {
        const ProcessedText out = process_text(text, "rus", RuntimeSettings{true, true});
        EXPECT_GE(out.script.size(), text.size()) << text.size();
    }
    EXPECT_EQ(apply_accentor(letters + " молоко", "rus"), letters + " молок+о");
}

}  // namespace
}  // namespace zelvan_tts::demo
