#include "sapi/tts_base.h"

#include "core/search_paths.h"
#include "platform/module_path.h"
#include "tools/test_models.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace zelvan_tts::sapi {
namespace {

namespace fs = std::filesystem;

// The host as linked into this test program: its module-relative models
// directory is the test's own, which holds no model.
class TtsBase : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = std::getenv("ZELVAN_TTS_MODEL_PATH") ? std::getenv("ZELVAN_TTS_MODEL_PATH") : "";
        root_ = fs::temp_directory_path() / ("zelvan_tts_base." + std::to_string(getpid()));
        fs::create_directories(root_);
        setenv("ZELVAN_TTS_MODEL_PATH", root_.c_str(), 1);
        tts_base::shutdown();
    }
    void TearDown() override {
        tts_base::shutdown();
        fs::remove_all(root_);
        if (saved_.empty()) {
            unsetenv("ZELVAN_TTS_MODEL_PATH");
        } else {
            setenv("ZELVAN_TTS_MODEL_PATH", saved_.c_str(), 1);
        }
    }
    void install_model() {
        test_models::write_voice_model((root_ / "multivoice_base.bin").string(),
                                       test_models::VoiceModelKind::Timed);
    }

    std::string saved_;
    fs::path root_;
};

TEST_F(TtsBase, MissingModelThenInstalledWithoutRestart) {
    const fs::path expected = fs::weakly_canonical(running_module_file().parent_path() / ".." /
                                                   "models" / "tts" / "multivoice_base.bin");
    std::vector<std::int16_t> samples;
    try {
        synthesize_to_int16("да", 0, 1, 1, 1, samples, nullptr);
        FAIL() << "no exception without a model";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Encrypted model not found: " + expected.string());
    }
    EXPECT_FALSE(tts_base::loaded());
    EXPECT_TRUE(samples.empty());

    install_model();
    EXPECT_TRUE(synthesize_to_int16("да", 0, 1, 1, 1, samples, nullptr));
    EXPECT_FALSE(samples.empty());
    EXPECT_TRUE(tts_base::loaded());

    // Shutdown releases it; the next synthesis loads it again.
    tts_base::shutdown();
    EXPECT_FALSE(tts_base::loaded());
    tts_base::shutdown();
    samples.clear();
    EXPECT_TRUE(synthesize_to_int16("да", 0, 1, 1, 1, samples, nullptr));
    EXPECT_TRUE(tts_base::loaded());
}

TEST_F(TtsBase, SpeakersOutsideTheTableSpeakWithVoiceZero) {
    install_model();
    const auto first_sample = [](std::int32_t speaker) {
        std::vector<std::int16_t> samples;
        EXPECT_TRUE(synthesize_to_int16("да", speaker, 1, 1, 1, samples, nullptr));
        return samples.empty() ? -1 : samples[0];
    };
    const auto voice0 = first_sample(0);
    EXPECT_NE(first_sample(7), voice0);
    EXPECT_EQ(first_sample(60), voice0);
    EXPECT_EQ(first_sample(-1), voice0);
}

TEST_F(TtsBase, SynthesesOfTwoThreadsNeverOverlap) {
    install_model();
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::atomic<int> blocks{0};
    const auto speak = [&](std::int32_t speaker, bool* ok) {
        *ok = tts_base::synthesize(
            "Один. Два. Три. Четыре.", speaker, 1, 1, 1,
            [&](const std::vector<float>&, int rate) {
                EXPECT_EQ(rate, 48000);
                const int now = ++inside;
                most = std::max(most.load(), now);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                --inside;
                ++blocks;
                return true;
            },
            nullptr);
    };
    bool ok1 = false;
    bool ok2 = false;
    std::thread t1(speak, 3, &ok1);
    std::thread t2(speak, 40, &ok2);
    t1.join();
    t2.join();
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(ok2);
    EXPECT_GE(blocks.load(), 4);
    EXPECT_EQ(most.load(), 1);
}

}  // namespace
}  // namespace zelvan_tts::sapi
