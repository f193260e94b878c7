#include "engine/pipeline.h"

#include "engine/voice_model.h"
#include "tools/test_models.h"

#include <gtest/gtest.h>
#include <torch/script.h>
#include <unistd.h>

#include <filesystem>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;
using test_models::kSamplesPerSymbol;
using test_models::VoiceModelKind;

constexpr int kRussian = 20;

class Pipeline : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        configure_torch_runtime();
        dir_ = fs::temp_directory_path() / ("zelvan_pipeline_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        for (auto kind : {VoiceModelKind::Timed, VoiceModelKind::AudioOnly, VoiceModelKind::Raising,
                          VoiceModelKind::Int64Audio}) {
            const std::string path = (dir_ / std::to_string(static_cast<int>(kind))).string();
            test_models::write_voice_model(path, kind);
            models_.emplace(kind, load_voice_model(path));
        }
    }
    static void TearDownTestSuite() {
        models_.clear();
        fs::remove_all(dir_);
    }

    struct Result {
        bool ok = false;
        std::vector<std::vector<float>> blocks;
        std::vector<WordTimestamp> words;
        std::vector<std::string> unmapped;
    };

    // Runs one synthesis; the sink refuses the block numbered `refuse_at`.
    static Result run(VoiceModelKind kind, SynthesisRequest request, int refuse_at = -1) {
        Result r;
        r.ok = synthesize_with_word_timestamps(
            models_.at(kind), request,
            [&](const std::vector<float>& block) {
                r.blocks.push_back(block);
                return static_cast<int>(r.blocks.size()) - 1 != refuse_at;
            },
            [&](const std::string& chars, int) { r.unmapped.push_back(chars); }, &r.words);
        return r;
    }

    // The Timed and AudioOnly models' audio for a chunk.
    static std::vector<float> model_audio(const std::string& chunk, int speaker, float volume = 1) {
        std::vector<float> out;
        for (std::int64_t id : encode_text(chunk, SymbolMap::instance())) {
            const float v =
                std::clamp(test_models::expected_sample(id, speaker) * volume, -1.0f, 1.0f);
            out.insert(out.end(), kSamplesPerSymbol, v);
        }
        return out;
    }

    static std::size_t total_samples(const Result& r) {
        std::size_t n = 0;
        for (const auto& b : r.blocks) n += b.size();
        return n;
    }

    static inline fs::path dir_;
    static inline std::map<VoiceModelKind, torch::jit::Module> models_;
};

TEST_F(Pipeline, OneBlockPerSentenceWithWordTimesAcrossChunks) {
    const Result r = run(VoiceModelKind::Timed, {"Да. Нет.", kRussian});
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.blocks.size(), 2u);
    EXPECT_EQ(r.blocks[0], model_audio("Да.", kRussian));
    EXPECT_EQ(r.blocks[1], model_audio("Нет.", kRussian));
    // Symbol p starts at p * 10 ms; the second chunk's times start where its
    // audio does, after the 50 ms of "Да." with its framing symbols.
    ASSERT_EQ(r.words.size(), 2u);
    EXPECT_FLOAT_EQ(r.words[0].start, 0.01f);
    EXPECT_FLOAT_EQ(r.words[0].end, 0.04f);
    EXPECT_FLOAT_EQ(r.words[1].start, 0.06f);
    EXPECT_FLOAT_EQ(r.words[1].end, 0.10f);
    EXPECT_TRUE(r.unmapped.empty());

    // However many chunks come before, a chunk's first word starts 10 ms
    // into that chunk's own audio.
    const Result many = run(VoiceModelKind::Timed, {"Да. Нет. Ага. Угу. Но. Так. Вот. Всё.", kRussian});
    ASSERT_EQ(many.words.size(), many.blocks.size());
    std::size_t before = 0;
    for (std::size_t k = 0; k < many.blocks.size(); ++k) {
        EXPECT_NEAR(many.words[k].start, before / 48000.0 + 0.01, 1e-5) << k;
        before += many.blocks[k].size();
    }

    // Without the blank there is one sentence.
    EXPECT_EQ(run(VoiceModelKind::Timed, {"Да.Нет.", kRussian}).blocks.size(), 1u);
}

TEST_F(Pipeline, TextStepsRunBeforeEncoding) {
    // Numbers are read as a reader says them: one record per spoken word.
    const Result numbers = run(VoiceModelKind::Timed, {"В 2024 году", kRussian});
    EXPECT_EQ(numbers.words.size(), 6u);
    EXPECT_EQ(numbers.blocks.at(0),
              model_audio("В дв+е т+ысячи дв+адцать четв+ёртом году", kRussian));

    // A Georgian voice transliterates; its own speaker id reaches the model.
    const Result georgian = run(VoiceModelKind::Timed, {"კაცი 5", 12});
    EXPECT_EQ(georgian.blocks.at(0), model_audio("к'аци хути", 12));

    // Unknown characters are reported per chunk and dropped.
    const Result odd = run(VoiceModelKind::Timed, {"Да @. Нет #", kRussian});
    EXPECT_EQ(odd.unmapped, (std::vector<std::string>{"@ ", "# "}));
    EXPECT_EQ(odd.words.size(), 3u);
}

TEST_F(Pipeline, RefusalsAndNothingToSay) {
    for (int speaker : {60, -1, 1000}) {
        std::vector<WordTimestamp> words{{1, 2}};
        int calls = 0;
        EXPECT_FALSE(synthesize_with_word_timestamps(
            models_.at(VoiceModelKind::Timed), {"Да.", speaker},
            [&](const std::vector<float>&) { return ++calls > 0; }, {}, &words));
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(words.size(), 1u);
    }
    for (const char* text : {"", " \n\t "}) {
        const Result r = run(VoiceModelKind::Timed, {text, kRussian});
        EXPECT_TRUE(r.ok);
        EXPECT_TRUE(r.blocks.empty()) << '"' << text << '"';
    }
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

TEST_F(Pipeline, HostileTextsGiveBoundedChunksAndSilence) {
    // A chunk of at most 250 symbols and a closing mark, with its two
    // framing symbols, is the largest block the test voice can give.
    const std::size_t largest = (250 + 1 + 2) * kSamplesPerSymbol;
    std::string base64;
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz+/";
    for (std::size_t i = 0; i < 16384; ++i) base64 += digits[(i * 7 + i / 13) % digits.size()];
    struct Case {
        const char* name;
        std::string text;
        std::size_t min_blocks;  // at least this many chunks reach the voice
        long words;              // -1: one word per block
        long total;              // samples in all; -1: not checked
    };
    const Case cases[] = {
        // 1490 words of 5 letters without a mark: 1490 words in chunks of
        // at most 41 words (41 * 6 - 1 = 245 symbols).
        {"prose without marks", repeated("слово ", 1490), 1490 / 41 + 1, 1490, -1},
        {"base64", base64, 50, -1, -1},
        {"one word of 32768 letters", repeated("я", 32768), 32768 / 250, -1, -1},
        {"sentence ends", repeated(". ", 32768), 0, 0, 0},
        {"marks without blanks", repeated(",;:!?-\u2014\u2026", 4096), 0, 0, 0},
        {"100,000 line feeds", std::string(100000, '\n'), 0, 0, 0},
        {"marks between words", "Да. . . . . . ! ? Нет.", 2, 2, (5 + 6) * kSamplesPerSymbol},
        {"marks after a word", "Да!!! ??? ... Нет", 2, 2, (7 + 5) * kSamplesPerSymbol},
    };
    for (const Case& c : cases) {
        const Result r = run(VoiceModelKind::Timed, {c.text, kRussian});
        EXPECT_TRUE(r.ok) << c.name;
        EXPECT_GE(r.blocks.size(), c.min_blocks) << c.name;
        for (const auto& block : r.blocks) ASSERT_LE(block.size(), largest) << c.name;
        EXPECT_EQ(static_cast<long>(r.words.size()),
                  c.words < 0 ? static_cast<long>(r.blocks.size()) : c.words)
            << c.name;
        if (c.total >= 0) EXPECT_EQ(static_cast<long>(total_samples(r)), c.total) << c.name;
    }
}

TEST_F(Pipeline, CancellingAfterTheFirstBlockSkipsTheRest) {
    const Result r = run(VoiceModelKind::Timed, {"Раз. Два. Три.", kRussian}, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.blocks.size(), 1u);
    EXPECT_EQ(r.words.size(), 1u) << "the second chunk never reached the model";

    // Cancelling the final flush of a stretched synthesis also reports false.
    SynthesisRequest request{"Раз. Два.", kRussian};
    request.speed = 2.0f;
    const Result all = run(VoiceModelKind::Timed, request);
    ASSERT_TRUE(all.ok);
    EXPECT_FALSE(run(VoiceModelKind::Timed, request, static_cast<int>(all.blocks.size()) - 1).ok);
}

TEST_F(Pipeline, VolumeSpeedAndPitch) {
    SynthesisRequest loud{"Эх", kRussian};
    loud.volume = 30.0f;  // э (id 42) comes out at 1.32 and clips; х (id 34) at 1.08
    const Result clipped = run(VoiceModelKind::Timed, loud);
    EXPECT_EQ(clipped.blocks.at(0), model_audio("Эх", kRussian, 30.0f));
    EXPECT_EQ(*std::max_element(clipped.blocks[0].begin(), clipped.blocks[0].end()), 1.0f);

    const std::string text = "Раз два три четыре пять. Вышел зайчик погулять.";
    const Result normal = run(VoiceModelKind::Timed, {text, kRussian});
    SynthesisRequest fast{text, kRussian};
    fast.speed = 2.0f;
    const Result faster = run(VoiceModelKind::Timed, fast);
    ASSERT_TRUE(faster.ok);
    EXPECT_NEAR(static_cast<double>(total_samples(faster)), total_samples(normal) / 2.0,
                total_samples(normal) * 0.05);
    ASSERT_EQ(faster.words.size(), normal.words.size());
    for (std::size_t k = 0; k < normal.words.size(); ++k) {
        EXPECT_NEAR(faster.words[k].start, normal.words[k].start / 2, 1e-6) << k;
        EXPECT_NEAR(faster.words[k].end, normal.words[k].end / 2, 1e-6) << k;
    }

    SynthesisRequest higher{text, kRussian};
    higher.pitch = 1.5f;
    const Result pitched = run(VoiceModelKind::Timed, higher);
    EXPECT_NEAR(static_cast<double>(total_samples(pitched)), total_samples(normal),
                total_samples(normal) * 0.05);
    for (const auto& block : pitched.blocks) {
        for (float s : block) ASSERT_LE(std::abs(s), 1.0f);
    }
}

TEST_F(Pipeline, ModelResultsOtherThanAudioWithTimes) {
    const Result plain = run(VoiceModelKind::AudioOnly, {"Да. Нет.", kRussian});
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(plain.blocks.size(), 2u);
    EXPECT_EQ(plain.blocks[1], model_audio("Нет.", kRussian));
    EXPECT_TRUE(plain.words.empty());

    EXPECT_THROW(run(VoiceModelKind::Raising, {"Да.", kRussian}), std::exception);
    try {
        run(VoiceModelKind::Int64Audio, {"Да.", kRussian});
        ADD_FAILURE() << "int64 audio accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Voice model audio is not float32");
    }
    EXPECT_THROW(synthesize_with_word_timestamps(models_.at(VoiceModelKind::Timed),
                                                 {"Да.", kRussian}, AudioSink(), {}, nullptr),
                 std::bad_function_call);

    // Without an output vector there is no word timing, and no harm.
    int blocks = 0;
    EXPECT_TRUE(synthesize_with_word_timestamps(
        models_.at(VoiceModelKind::Timed), {"Да.", kRussian},
        [&](const std::vector<float>&) { return ++blocks > 0; }, {}, nullptr));
    EXPECT_EQ(blocks, 1);
}

}  // namespace
}  // namespace zelvan_tts
