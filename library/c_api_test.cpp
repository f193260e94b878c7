// The C interface: from C, with bad arguments, cancelled, and with word
// offsets that point into the caller's text; the example program; and the
// installed package found by pkg-config.
#include "zelvan_tts.h"

#include "tools/test_models.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <cmath>
#include <random>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

extern "C" int zelvan_c_api_checks(const char* models_root, char* report, size_t report_size);

namespace {

namespace fs = std::filesystem;

class CApi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = fs::temp_directory_path() / ("zelvan_c_api_" + std::to_string(getpid()));
        fs::create_directories(root_);
        zelvan_tts::test_models::write_voice_model((root_ / "multivoice_base.bin").string(),
                                                   zelvan_tts::test_models::VoiceModelKind::Timed);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    }
    static void TearDownTestSuite() { fs::remove_all(root_); }

    static zelvan_tts_engine* open() {
        zelvan_tts_engine_params params = zelvan_tts_default_params();
        const std::string root = root_.string();
        params.models_root = root.c_str();
        zelvan_tts_engine* engine = nullptr;
        EXPECT_EQ(zelvan_tts_engine_open(&params, &engine), ZELVAN_TTS_OK)
            << zelvan_tts_last_error();
        return engine;
    }

    static inline fs::path root_;
};

TEST_F(CApi, UsedFromC) {
    char report[256] = "";
    EXPECT_EQ(zelvan_c_api_checks(root_.c_str(), report, sizeof report), 0) << report;
}

int keep_going(void*, const float*, size_t) { return 0; }

TEST_F(CApi, BadArgumentsGetAStatusAndAMessage) {
    zelvan_tts_engine* engine = open();
    ASSERT_NE(engine, nullptr);
    const zelvan_tts_callbacks callbacks{keep_going, nullptr, nullptr};
    const zelvan_tts_callbacks no_audio{nullptr, nullptr, nullptr};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* what;
        zelvan_tts_engine* engine;
        const char* text;
        std::size_t length;
        zelvan_tts_request request;
        const zelvan_tts_callbacks* callbacks;
    } cases[] = {
        {"no engine", nullptr, "да", 4, zelvan_tts_default_request(), &callbacks},
        {"no text", engine, nullptr, 4, zelvan_tts_default_request(), &callbacks},
        {"no callbacks", engine, "да", 4, zelvan_tts_default_request(), nullptr},
        {"no audio callback", engine, "да", 4, zelvan_tts_default_request(), &no_audio},
        {"voice 60", engine, "да", 4, {60, 1, 1, 1}, &callbacks},
        {"voice -1", engine, "да", 4, {-1, 1, 1, 1}, &callbacks},
        {"NaN speed", engine, "да", 4, {20, nan, 1, 1}, &callbacks},
        {"infinite volume", engine, "да", 4, {20, 1, 1, HUGE_VALF}, &callbacks},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zelvan_tts_synthesize(c.engine, c.text, c.length, &c.request, c.callbacks),
                  ZELVAN_TTS_INVALID_ARGUMENT)
            << c.what;
        EXPECT_STRNE(zelvan_tts_last_error(), "") << c.what;
    }
    zelvan_tts_voice voice;
    EXPECT_EQ(zelvan_tts_voice_info(60, &voice), ZELVAN_TTS_INVALID_ARGUMENT);
    EXPECT_EQ(zelvan_tts_voice_info(0, nullptr), ZELVAN_TTS_INVALID_ARGUMENT);
    zelvan_tts_processed_text* out = nullptr;
    EXPECT_EQ(zelvan_tts_process_text(engine, "да", 4, 99, &out), ZELVAN_TTS_INVALID_ARGUMENT);
    EXPECT_EQ(out, nullptr);
    // A null text of length 0 is an empty text: nothing to say.
    EXPECT_EQ(zelvan_tts_synthesize(engine, nullptr, 0, nullptr, &callbacks), ZELVAN_TTS_OK);
    EXPECT_STREQ(zelvan_tts_last_error(), "");
    zelvan_tts_engine_close(engine);

    zelvan_tts_engine_params params = zelvan_tts_default_params();
    const std::string missing = (root_ / "nowhere").string();
    params.models_root = missing.c_str();
    zelvan_tts_engine* none = reinterpret_cast<zelvan_tts_engine*>(1);
    // The search falls back to the models beside this test, which has none.
    EXPECT_EQ(zelvan_tts_engine_open(&params, &none), ZELVAN_TTS_MODEL_NOT_FOUND);
    EXPECT_EQ(none, nullptr);
    EXPECT_NE(std::string(zelvan_tts_last_error()).find("multivoice_base.bin"), std::string::npos);
    params.threads = -1;
    EXPECT_EQ(zelvan_tts_engine_open(&params, &none), ZELVAN_TTS_INVALID_ARGUMENT);
}

struct Words {
    std::vector<std::string> spans;
    const std::string* text;
    double last_end = 0;
    bool ordered = true;
};

void collect(void* user_data, const zelvan_tts_word* word) {
    auto* words = static_cast<Words*>(user_data);
    words->spans.push_back(words->text->substr(word->text_offset, word->text_length));
    words->ordered = words->ordered && word->start >= words->last_end - 1e-6 && word->end >= word->start;
    words->last_end = word->end;
}

TEST_F(CApi, WordOffsetsPointIntoTheCallersText) {
    zelvan_tts_engine* engine = open();
    ASSERT_NE(engine, nullptr);
    const std::string text = "Я купил 21 книгу. Hello!";
    Words words{{}, &text};
    const zelvan_tts_callbacks callbacks{keep_going, collect, &words};
    ASSERT_EQ(zelvan_tts_synthesize(engine, text.data(), text.size(), nullptr, &callbacks),
              ZELVAN_TTS_OK);
    EXPECT_EQ(words.spans, (std::vector<std::string>{"Я", "купил", "21", "21", "книгу.", "Hello!"}));
    EXPECT_TRUE(words.ordered);
    zelvan_tts_engine_close(engine);
}

struct Events {
    const std::string* text = nullptr;
    std::string said;
    std::vector<std::uint64_t> samples;  // of each event, in order
    std::uint64_t word_after_mark = 0;   // the sample of the word after mark "a"
    std::uint64_t mark_a = 0;
    std::uint64_t audio = 0;
};

void on_event(void* user_data, const zelvan_tts_event* e) {
    auto* events = static_cast<Events*>(user_data);
    static const char* const kType[] = {"", "S", "E", "W", "M", "END"};
    events->said += kType[e->type];
    if (*e->text) events->said += std::string("(") + e->text + ")";
    if (e->text_length) events->said += "<" + events->text->substr(e->text_offset, e->text_length) + ">";
    events->said += ' ';
    events->samples.push_back(e->sample);
    if (e->type == ZELVAN_TTS_EVENT_MARK && std::string(e->text) == "a") events->mark_a = e->sample;
    if (e->type == ZELVAN_TTS_EVENT_WORD && events->mark_a != 0 && events->word_after_mark == 0)
        events->word_after_mark = e->sample;
}

int count_audio(void* user_data, const float*, size_t count) {
    static_cast<Events*>(user_data)->audio += count;
    return 0;
}

TEST_F(CApi, SsmlEventsInOrderWithTheDocumentsBytes) {
    zelvan_tts_engine* engine = open();
    ASSERT_NE(engine, nullptr);
    const std::string doc = "<speak>Да. <mark name=\"a\"/>Нет 2.<mark name=\"b\"/></speak>";
    Events events;
    events.text = &doc;
    const zelvan_tts_callbacks callbacks{count_audio, nullptr, &events};
    zelvan_tts_synthesis_options options = zelvan_tts_default_synthesis_options();
    options.event = on_event;
    options.event_user_data = &events;
    options.input = ZELVAN_TTS_INPUT_SSML;
    ASSERT_EQ(zelvan_tts_synthesize_with_options(engine, doc.data(), doc.size(), nullptr,
                                                 &callbacks, &options),
              ZELVAN_TTS_OK)
        << zelvan_tts_last_error();
    EXPECT_EQ(events.said,
              "S<Да.> W(Да.)<Да.> E<Да.> S<Нет 2.> M(a)<<mark name=\"a\"/>> W(Нет)<Нет> "
              "W(два.)<2.> E<Нет 2.> M(b)<<mark name=\"b\"/>> END ");
    EXPECT_TRUE(std::is_sorted(events.samples.begin(), events.samples.end()));
    EXPECT_GT(events.mark_a, 0u);
    EXPECT_EQ(events.mark_a, events.word_after_mark);
    EXPECT_EQ(events.samples.back(), events.audio);

    // A document type is refused and nothing is spoken; so are members a
    // later header adds that this library does not know.
    const std::string bomb = "<!DOCTYPE s [<!ENTITY a \"aaaa\">]><speak>&a;&a;</speak>";
    events = Events();
    events.text = &bomb;
    EXPECT_EQ(zelvan_tts_synthesize_with_options(engine, bomb.data(), bomb.size(), nullptr,
                                                 &callbacks, &options),
              ZELVAN_TTS_INVALID_ARGUMENT);
    EXPECT_EQ(events.audio, 0u);
    struct {
        zelvan_tts_synthesis_options known;
        int later;
    } grown{options, 1};
    grown.known.size = sizeof grown;
    EXPECT_EQ(zelvan_tts_synthesize_with_options(engine, doc.data(), doc.size(), nullptr,
                                                 &callbacks, &grown.known),
              ZELVAN_TTS_INVALID_ARGUMENT);
    zelvan_tts_engine_close(engine);
}

struct Cancelling {
    std::atomic<bool> speaking{false};
    std::atomic<bool> cancelled{false};
    std::atomic<int> blocks_after_cancel{0};
    zelvan_tts_engine* engine = nullptr;
    bool cancel_in_callback = false;
};

int note_audio(void* user_data, const float*, size_t) {
    auto* c = static_cast<Cancelling*>(user_data);
    if (c->cancelled) ++c->blocks_after_cancel;
    c->speaking = true;
    if (c->cancel_in_callback) {
        zelvan_tts_cancel(c->engine);
        c->cancelled = true;
    }
    return 0;
}

TEST_F(CApi, CancelFromAnotherThreadAtRandomPoints) {
    zelvan_tts_engine* engine = open();
    ASSERT_NE(engine, nullptr);
    std::string text;
    for (int i = 0; i < 300; ++i) text += "Это предложение номер " + std::to_string(i) + ". ";
    std::mt19937 random(31);
    for (int round = 0; round < 20; ++round) {
        Cancelling c;
        c.engine = engine;
        const zelvan_tts_callbacks callbacks{note_audio, nullptr, &c};
        const int wait_us = std::uniform_int_distribution<int>(0, 3000)(random);
        std::thread canceller([&] {
            while (!c.speaking) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::microseconds(wait_us));
            zelvan_tts_cancel(engine);
            c.cancelled = true;
        });
        EXPECT_EQ(zelvan_tts_synthesize(engine, text.data(), text.size(), nullptr, &callbacks),
                  ZELVAN_TTS_CANCELLED);
        c.speaking = true;  // lets the canceller go should nothing have been said
        canceller.join();
        // The block that passed its check as the cancel came may still arrive.
        EXPECT_LE(c.blocks_after_cancel, 1) << round;
    }
    // From the audio callback itself: nothing more arrives.
    Cancelling inside;
    inside.engine = engine;
    inside.cancel_in_callback = true;
    const zelvan_tts_callbacks callbacks{note_audio, nullptr, &inside};
    EXPECT_EQ(zelvan_tts_synthesize(engine, text.data(), text.size(), nullptr, &callbacks),
              ZELVAN_TTS_CANCELLED);
    EXPECT_EQ(inside.blocks_after_cancel, 0);
    // A cancel with nothing running does not stop the next synthesis.
    zelvan_tts_cancel(engine);
    zelvan_tts_cancel(nullptr);
    const zelvan_tts_callbacks plain{keep_going, nullptr, nullptr};
    EXPECT_EQ(zelvan_tts_synthesize(engine, "Да.", 5, nullptr, &plain), ZELVAN_TTS_OK);
    zelvan_tts_engine_close(engine);
}

TEST_F(CApi, TheExampleAndTheInstalledPackage) {
    // The example writes a WAV through the library.
    const fs::path wav = root_ / "example.wav";
    const std::string speak = std::string("ZELVAN_TTS_MODEL_PATH='") + root_.string() + "' '" +
                              SPEAK_EXAMPLE + "' '" + wav.string() + "' 'Да. Нет.' > /dev/null";
    ASSERT_EQ(std::system(speak.c_str()), 0);
    std::ifstream in(wav, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(bytes.size(), 44u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    const std::size_t data = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | bytes[43] << 24;
    EXPECT_EQ(data, bytes.size() - 44);

    // Installed into a prefix, the package builds the example with pkg-config.
    const std::string install = std::string("sh '") + INSTALL_CHECK + "' '" + BUILD_DIR + "' '" +
                                (root_ / "prefix").string() + "' '" + root_.string() + "' '" +
                                EXAMPLE_CFLAGS + "'";
    EXPECT_EQ(std::system(install.c_str()), 0);
}

}  // namespace
