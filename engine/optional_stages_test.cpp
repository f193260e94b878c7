// The optional text stages inside whole syntheses: settings, order, release,
// debugger lines, and failures that sound like a switched-off stage.
#include "engine/pipeline.h"

#include "engine/engine.h"

#include "accentor/accentor_stage.h"
#include "core/settings.h"
#include "engine/text_stages.h"
#include "engine/voice_model.h"
#include "homosolver/homograph_stage.h"
#include "platform/named_signal.h"
#include "platform/object_names.h"
#include "text/transliteration.h"
#include "tools/test_accentor_models.h"
#include "tools/test_homosolver_models.h"
#include "tools/test_models.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <torch/script.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;
namespace tm = test_models;

constexpr int kRussian = 20;
constexpr int kKazakh = 13;

tm::StressModelDesign russian_stress(tm::StressOutput output = tm::StressOutput::StressAndYo) {
    tm::StressModelDesign design;
    design.words = {{"молоко", {0, 0, 5}, {}}, {"дом", {0}, {}}, {"кот", {0}, {}}};
    design.output = output;
    return design;
}

class OptionalStages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        configure_torch_runtime();
        root_ = fs::temp_directory_path() / ("zelvan_stages_" + std::to_string(getpid()));
        fs::create_directories(root_);
        tm::write_voice_model((root_ / "multivoice_base.bin").string(), tm::VoiceModelKind::Timed);
        model_ = std::make_unique<torch::jit::Module>(
            load_voice_model((root_ / "multivoice_base.bin").string()));
    }
    static void TearDownTestSuite() {
        model_.reset();
        fs::remove_all(root_);
    }

    void SetUp() override {
        tm::write_stress_language((root_ / "accentor" / "ru").string(), russian_stress());
        tm::write_homograph_resources((root_ / "homosolver").string(),
                                      tm::standard_homograph_resources());
        setenv("ZELVAN_TTS_MODEL_PATH", root_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        setenv("ZELVAN_TTS_DEBUG_LOG", log_path().c_str(), 1);
        fs::remove(log_path());
        fs::remove_all(root_ / "config");
        release_accentors();
        release_homosolver();
        // Start from both stages on, with no signal pending.
        SettingsStore::instance().current();
    }
    void TearDown() override {
        unsetenv("ZELVAN_TTS_DEBUG_LOG");
        fs::remove_all(root_ / "config");
        SettingsStore::instance().current();
        release_accentors();
        release_homosolver();
    }

    static std::string log_path() { return (root_ / "debug.log").string(); }

    static std::string debug_log() {
        std::ifstream in(log_path(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // As the settings dialog would: the file, then the signal.
    static void save(bool accentor, bool homosolver) {
        ASSERT_TRUE(SettingsStore().save({accentor, homosolver}));
    }

    // The test voice's audio of a fully processed text, chunk by chunk.
    static std::vector<float> model_audio(const std::string& script, int speaker) {
        std::vector<float> out;
        for (std::int64_t id : encode_text(script, SymbolMap::instance())) {
            out.insert(out.end(), tm::kSamplesPerSymbol, tm::expected_sample(id, speaker));
        }
        return out;
    }

    // The blocks of one synthesis; `during` runs at the first block.
    static std::vector<std::vector<float>> speak(const std::string& text, int speaker,
                                                 const std::function<void()>& during = {}) {
        std::vector<std::vector<float>> blocks;
        EXPECT_TRUE(synthesize_with_word_timestamps(
            *model_, {text, speaker},
            [&](const std::vector<float>& block) {
                if (blocks.empty() && during) during();
                blocks.push_back(block);
                return true;
            },
            {}, nullptr));
        return blocks;
    }

    static inline fs::path root_;
    static inline std::unique_ptr<torch::jit::Module> model_;
};

TEST_F(OptionalStages, HomographsThenStressForARussianVoice) {
    const auto blocks = speak("Замок и молоко", kRussian);
    const std::string homographs = apply_homosolver("Замок и молоко", "rus");
    ASSERT_NE(homographs, "Замок и молоко") << "the homograph stage acted";
    ASSERT_NE(homographs.find("+"), std::string::npos);
    const std::string stressed = apply_accentor(homographs, "rus");
    EXPECT_NE(stressed.find("молок+о"), std::string::npos);
    // The resolved homograph carries its mark already and is left alone.
    EXPECT_EQ(stressed.substr(0, homographs.find(" и ")),
              homographs.substr(0, homographs.find(" и ")));

    EXPECT_EQ(debug_log(), "[Accentor rus] Before: " + homographs + "\n" +
                               "[Accentor rus] After: " + stressed + "\n");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], model_audio(stressed, kRussian));
}

TEST_F(OptionalStages, SwitchedOffStressStageIsReleasedAndSilent) {
    speak("молоко", kRussian);
    EXPECT_EQ(accentor_table().size(), 1u);
    fs::remove(log_path());

    save(false, true);
    const auto blocks = speak("молоко", kRussian);
    EXPECT_TRUE(accentor_table().size() == 0) << "released at the start of the call";
    EXPECT_EQ(blocks.at(0), model_audio("молоко", kRussian));
    EXPECT_EQ(debug_log(), "[Accentor rus] Before: молоко\n[Accentor rus] After: молоко\n");
}

TEST_F(OptionalStages, OtherLanguagesAreLeftAloneWithoutLines) {
    const auto blocks = speak("Замок и молоко 5", kKazakh);
    EXPECT_EQ(blocks.at(0), model_audio("Замок и молоко пять", kKazakh));
    EXPECT_EQ(debug_log(), "");
    EXPECT_TRUE(accentor_table().size() == 0);
}

TEST_F(OptionalStages, HomographStageLoadsAnewAfterBeingSwitchedBackOn) {
    const std::string first = apply_homosolver("замок", "rus");
    speak("замок", kRussian);

    save(true, false);
    speak("замок", kRussian);
    // While it is off, the resources change on disk: the dictionary now
    // offers one variant only.
    auto resources = tm::standard_homograph_resources();
    resources.homodict_json = R"({"замок": ["з+амок"]})";
    tm::write_homograph_resources((root_ / "homosolver").string(), resources);

    save(true, true);
    fs::remove(log_path());
    speak("замок", kRussian);
    EXPECT_EQ(debug_log().substr(0, debug_log().find('\n')), "[Accentor rus] Before: з+амок");
    (void)first;
}

TEST_F(OptionalStages, ASettingsChangeTakesEffectAtTheNextCall) {
    const std::string text = "Молоко. Молоко.";
    // Another process switches both stages off while the first block plays.
    const auto during = [] {
        const pid_t child = fork();
        if (child == 0) _exit(SettingsStore().save({false, false}) ? 0 : 1);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    };
    const auto changed_during = speak(text, kRussian, during);
    ASSERT_EQ(changed_during.size(), 2u);
    EXPECT_EQ(changed_during[1], model_audio("Молок+о.", kRussian))
        << "the call keeps its settings";

    const auto next = speak(text, kRussian);
    EXPECT_EQ(next.at(1), model_audio("Молоко.", kRussian));
}

TEST_F(OptionalStages, FailingStagesSoundLikeSwitchedOffOnes) {
    const std::string text = "Замок и молоко.";
    save(false, false);
    const auto off = speak(text, kRussian);

    save(true, true);
    tm::write_stress_language((root_ / "accentor" / "ru").string(),
                              russian_stress(tm::StressOutput::Raising));
    auto resources = tm::standard_homograph_resources();
    resources.model.kind = tm::HomographModelKind::Raising;
    tm::write_homograph_resources((root_ / "homosolver").string(), resources);
    EXPECT_EQ(speak(text, kRussian), off);

    // Missing files too.
    release_accentors();
    release_homosolver();
    fs::remove_all(root_ / "accentor");
    fs::remove_all(root_ / "homosolver");
    EXPECT_EQ(speak(text, kRussian), off);
}

TEST_F(OptionalStages, AStageModelMissingOrBrokenIsReportedOncePerEngine) {
    const fs::path stress = root_ / "accentor" / "ru" / "zelvan_accentor.bin";
    const fs::path homographs = root_ / "homosolver" / "model_emb_q.bin";
    const auto garble = [](const fs::path& p) {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << std::string(48, 'g');
    };
    const auto cut = [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) - 7); };
    struct Case {
        const char* name;
        std::function<void()> damage;
        std::string problem;  // the start of the one line reported
    };
    const Case cases[] = {
        {"stress model missing", [&] { fs::remove_all(root_ / "accentor"); },
         "Stress model not found: " + stress.string()},
        {"stress model not a data file", [&] { garble(stress); },
         "Failed to decrypt model: " + stress.string() + " (wrong key or not a data file)"},
        {"homograph model cut short", [&] { cut(homographs); },
         "Failed to decrypt model: " + homographs.string() + " (truncated)"},
        {"homograph files missing", [&] { fs::remove_all(root_ / "homosolver"); },
         "Homograph model file not found: "},
    };
    for (const Case& c : cases) {
        SetUp();
        c.damage();
        const auto engine_problems = [&] {
            std::vector<std::string> problems;
            EngineOptions options;
            options.stress = StageMode::On;
            options.homographs = StageMode::On;
            options.problems = [&](const std::string& line) { problems.push_back(line); };
            Engine engine(std::move(options));
            for (int k = 0; k < 2; ++k) {
                EXPECT_TRUE(engine.synthesize({"Замок и молоко.", kRussian},
                                              [](const std::vector<float>&) { return true; }, {},
                                              nullptr));
                engine.process_text("Замок.", kRussian);
            }
            // The report says the same.
            std::string report;
            for (const std::string& line : engine.loaded_report()) report += line + "\n";
            EXPECT_NE(report.find(": " + c.problem), std::string::npos) << c.name << "\n" << report;
            return problems;
        };
        for (int engine = 0; engine < 2; ++engine) {
            const std::vector<std::string> problems = engine_problems();
            ASSERT_EQ(problems.size(), 1u) << c.name;
            EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << c.name << ": " << problems[0];
            EXPECT_EQ(problems[0].find('\n'), std::string::npos) << c.name;
        }
        release_accentors();
        release_homosolver();
    }
}

}  // namespace
}  // namespace zelvan_tts

namespace zelvan_tts {
namespace {

// Written forms are read only when the switch is on and only for Russian;
// off, every text step gives what it gave before the step existed.
TEST(ReadingSwitch, OffGivesTheNumberStepsTextAndOtherLanguagesNeverChange) {
    const std::string text = "В 2024 году 10 000 человек, т.е. 15,5% (12-й), 5 кг, XX век.";
    RuntimeSettings off{false, false, false};
    RuntimeSettings on{false, false, true};
    // Each digit run on its own, as a nominative cardinal.
    const std::string before =
        "В две тысячи двадцать четыре году десять ноль человек, т.е. пятнадцать,пять% "
        "(двенадцать-й), пять кг, XX век.";
    EXPECT_EQ(process_text(text, "rus", off).numbers, before);
    EXPECT_EQ(process_text(text, "rus", off).script,
              "В две тысячи двадцать четыре году десять ноль человек, т.е. пятнадцать,пять% "
              "(двенадцать-й), пять кг, КСКС век.");
    for (const char* lang : {"ukr", "kat", "tat"}) {
        EXPECT_EQ(process_text(text, lang, on).script, process_text(text, lang, off).script) << lang;
    }
    EXPECT_EQ(process_text(text, "rus", on).numbers,
              "В дв+е т+ысячи дв+адцать четв+ёртом году д+есять т+ысяч человек, т+о +есть "
              "пятн+адцать ц+елых п+ять дес+ятых проц+ента (двен+адцатый), п+ять килогр+аммов, "
              "двадц+атый век.");
}

}  // namespace
}  // namespace zelvan_tts
