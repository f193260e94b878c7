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
        // The user's dictionary, there before any engine reads it.
        fs::create_directories(root_ / "config" / "ZelvanTTS");
        std::ofstream(root_ / "config" / "ZelvanTTS" / "dictionary.txt") << "кот=пёс\n";
    }
    static void TearDownTestSuite() { fs::remove_all(root_); }

    static zelvan_tts_engine* open(zelvan_tts_engine_options options = zelvan_tts_default_options()) {
        const std::string root = root_.string();
        options.params.models_root = root.c_str();
        zelvan_tts_engine* engine = nullptr;
        EXPECT_EQ(zelvan_tts_engine_open_with_options(&options, &engine), ZELVAN_TTS_OK)
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
    // Long enough that a loaded machine cannot finish it before the cancel.
    for (int i = 0; i < 3000; ++i) text += "Это предложение номер " + std::to_string(i) + ". ";
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

// What one synthesis gave: the words as spoken, the bytes each points at,
// the samples of words, marks and sentence ends, the audio's length and peak.
struct Heard {
    const std::string* doc = nullptr;
    std::vector<std::string> words, bytes;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> word_samples;
    std::string order;  // S E W M END
    std::vector<std::uint64_t> samples;
    std::uint64_t audio = 0;
    float peak = 0;
};

void hear_event(void* user_data, const zelvan_tts_event* e) {
    auto* h = static_cast<Heard*>(user_data);
    static const char* const kType[] = {"", "S", "E", "W", "M", "END"};
    h->order += std::string(kType[e->type]) + (e->type == ZELVAN_TTS_EVENT_MARK ? e->text : "") + " ";
    h->samples.push_back(e->sample);
    if (e->type != ZELVAN_TTS_EVENT_WORD) return;
    h->words.push_back(e->text);
    h->bytes.push_back(h->doc->substr(e->text_offset, e->text_length));
    h->word_samples.push_back({e->sample, e->end_sample});
}

int hear_audio(void* user_data, const float* samples, size_t count) {
    auto* h = static_cast<Heard*>(user_data);
    h->audio += count;
    for (size_t i = 0; i < count; ++i) h->peak = std::max(h->peak, std::fabs(samples[i]));
    return 0;
}

Heard hear(zelvan_tts_engine* engine, const std::string& doc, zelvan_tts_input_format input) {
    Heard h;
    h.doc = &doc;
    const zelvan_tts_callbacks callbacks{hear_audio, nullptr, &h};
    zelvan_tts_synthesis_options options = zelvan_tts_default_synthesis_options();
    options.event = hear_event;
    options.event_user_data = &h;
    options.input = input;
    EXPECT_EQ(zelvan_tts_synthesize_with_options(engine, doc.data(), doc.size(), nullptr,
                                                 &callbacks, &options),
              ZELVAN_TTS_OK)
        << doc << ": " << zelvan_tts_last_error();
    return h;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "|") + p;
    return out;
}

TEST_F(CApi, SsmlElementsActedOn) {
    zelvan_tts_engine* engine = open();
    ASSERT_NE(engine, nullptr);
    const Heard plain = hear(engine, "Да нет.", ZELVAN_TTS_INPUT_TEXT);
    ASSERT_EQ(plain.words.size(), 2u);
    const struct {
        const char* doc;
        const char* words;
        const char* bytes;
        // The audio's length and peak beside the plain text's.
        double length_ratio;
        double peak_ratio;
    } kCases[] = {
        {"<speak><mark name='1'/>Да <mark name='2'/>нет.<mark name='3'/></speak>", "Да|нет.",
         "Да|нет.", 1.0, 1.0},
        {"<speak><prosody rate='50%'>Да нет.</prosody></speak>", "Да|нет.", "Да|нет.", 2.0, 1.0},
        {"<speak><prosody volume='-6dB'>Да нет.</prosody></speak>", "Да|нет.", "Да|нет.", 1.0,
         0.501},
        {"<speak><prosody pitch='+2st'>Да нет.</prosody></speak>", "Да|нет.", "Да|нет.", 1.0, 1.0},
        {"<speak><say-as interpret-as='characters'>Да</say-as> нет.</speak>", "дэ,|а|нет.",
         "Д|а|нет.", 0, 0},
        {"<speak><sub alias='Нет'>Да</sub> нет.</speak>", "Нет|нет.",
         "<sub alias='Нет'>Да</sub>|нет.", 0, 0},
        {"<speak>Да <break time='500ms'/>нет.</speak>", "Да|нет.", "Да|нет.", 0, 0},
    };
    for (const auto& c : kCases) {
        const std::string doc = c.doc;
        const Heard h = hear(engine, doc, ZELVAN_TTS_INPUT_SSML);
        EXPECT_EQ(joined(h.words), c.words) << doc;
        EXPECT_EQ(joined(h.bytes), c.bytes) << doc;
        if (c.length_ratio > 0) {
            EXPECT_NEAR(double(h.audio) / plain.audio, c.length_ratio, 0.05) << doc;
        }
        if (c.peak_ratio > 0) {
            EXPECT_NEAR(h.peak / plain.peak, c.peak_ratio, 0.02) << doc;
        }
    }
    // The break's half second stands between the two words.
    const Heard broken = hear(engine, "<speak>Да <break time='500ms'/>нет.</speak>",
                              ZELVAN_TTS_INPUT_SSML);
    ASSERT_EQ(broken.word_samples.size(), 2u);
    EXPECT_GE(broken.word_samples[1].first - broken.word_samples[0].second, 24000u);
    EXPECT_NEAR(double(broken.audio), double(plain.audio + 24000), plain.audio * 0.2);
    zelvan_tts_engine_close(engine);
}

// The audio of a text or an SSML document spoken with the request's `voice`.
std::vector<float> audio_of(zelvan_tts_engine* engine, const std::string& text, int voice,
                            zelvan_tts_input_format input) {
    std::vector<float> audio;
    const zelvan_tts_callbacks callbacks{
        [](void* user, const float* samples, size_t count) {
            auto* out = static_cast<std::vector<float>*>(user);
            out->insert(out->end(), samples, samples + count);
            return 0;
        },
        nullptr, &audio};
    zelvan_tts_request request = zelvan_tts_default_request();
    request.voice = voice;
    zelvan_tts_synthesis_options options = zelvan_tts_default_synthesis_options();
    options.input = input;
    EXPECT_EQ(zelvan_tts_synthesize_with_options(engine, text.data(), text.size(), &request,
                                                 &callbacks, &options),
              ZELVAN_TTS_OK)
        << text << ": " << zelvan_tts_last_error();
    return audio;
}

TEST_F(CApi, SsmlVoiceAndLanguageSwitchesChangeTheVoice) {
    zelvan_tts_engine* engine = open();
    ASSERT_NE(engine, nullptr);
    const auto plain = [&](int voice) { return audio_of(engine, "Да", voice, ZELVAN_TTS_INPUT_TEXT); };
    const auto ssml = [&](const char* doc, int voice) {
        return audio_of(engine, doc, voice, ZELVAN_TTS_INPUT_SSML);
    };
    ASSERT_NE(plain(59), plain(20));
    EXPECT_EQ(ssml("<speak><voice name='xal_saglar'>Да</voice></speak>", 20), plain(59));
    // ru_alsu's Tatar twin for Tatar; no voice of English: she stays.
    EXPECT_EQ(ssml("<speak><lang xml:lang='tt'>Да</lang></speak>", 21), plain(50));
    EXPECT_EQ(ssml("<speak><lang xml:lang='en'>Да</lang></speak>", 21), plain(21));
    zelvan_tts_engine_close(engine);
}

TEST_F(CApi, EventsAroundABreakInOrderAtTheirSamples) {
    zelvan_tts_engine* engine = open();
    ASSERT_NE(engine, nullptr);
    const Heard h = hear(engine,
                         "<speak>Да. <mark name='a'/><break time='250ms'/><mark name='b'/>"
                         "Нет.<mark name='c'/></speak>",
                         ZELVAN_TTS_INPUT_SSML);
    EXPECT_EQ(h.order, "S W E Ma S Mb W E Mc END ");
    ASSERT_EQ(h.samples.size(), 10u);
    EXPECT_TRUE(std::is_sorted(h.samples.begin(), h.samples.end()));
    // a where the first sentence's audio ends, b after the pause at the
    // word it stands before, c and the end where the audio ends.
    EXPECT_EQ(h.samples[3], h.samples[2]);
    EXPECT_GE(h.samples[5], h.samples[3] + 12000);
    EXPECT_EQ(h.samples[5], h.samples[6]);
    EXPECT_EQ(h.samples[8], h.audio);
    EXPECT_EQ(h.samples[9], h.audio);
    zelvan_tts_engine_close(engine);
}

TEST_F(CApi, DictionaryAndReadingModesPerEngine) {
    const std::string other = (root_ / "other.txt").string();
    std::ofstream(other) << "кот=лев\n";
    zelvan_tts_engine_options off = zelvan_tts_default_options();
    off.dictionary = ZELVAN_TTS_DICTIONARY_OFF;
    zelvan_tts_engine_options file = zelvan_tts_default_options();
    file.dictionary = ZELVAN_TTS_DICTIONARY_FILE;
    file.dictionary_file = other.c_str();
    zelvan_tts_engine_options some = zelvan_tts_default_options();
    some.punctuation = ZELVAN_TTS_PUNCTUATION_SOME;
    zelvan_tts_engine_options spelled = zelvan_tts_default_options();
    spelled.spelling = 1;
    spelled.capitals = ZELVAN_TTS_CAPITALS_SPELL;
    const struct {
        const char* what;
        zelvan_tts_engine_options options;
        const char* text;
        const char* words;
        const char* bytes;
        const char* report;  // a line of the engine's report
    } kCases[] = {
        {"settings' dictionary", zelvan_tts_default_options(), "кот", "пёс", "кот",
         "dictionary: "},
        {"no dictionary", off, "кот", "кот", "кот", "dictionary: off\n"},
        {"a given file", file, "кот", "лев", "кот", "other.txt\n"},
        {"symbols named", some, "да+нет", "да|плюс|нет", "да|+|нет",
         "punctuation some, capitals none, spelling off"},
        {"spelled", spelled, "Да", "большая|дэ,|а", "Д|Д|а", "capitals spell, spelling on"},
    };
    for (const auto& c : kCases) {
        zelvan_tts_engine* engine = open(c.options);
        ASSERT_NE(engine, nullptr) << c.what;
        const std::string text = c.text;
        const Heard h = hear(engine, text, ZELVAN_TTS_INPUT_TEXT);
        EXPECT_EQ(joined(h.words), c.words) << c.what;
        EXPECT_EQ(joined(h.bytes), c.bytes) << c.what;
        std::string report(zelvan_tts_engine_report(engine, nullptr, 0) + 1, '\0');
        zelvan_tts_engine_report(engine, report.data(), report.size());
        EXPECT_NE(report.find(c.report), std::string::npos) << c.what << "\n" << report;
        zelvan_tts_engine_close(engine);
    }
    file.dictionary_file = "/nonexistent/dictionary.txt";
    zelvan_tts_engine* engine = reinterpret_cast<zelvan_tts_engine*>(1);
    EXPECT_EQ(zelvan_tts_engine_open_with_options(&file, &engine), ZELVAN_TTS_INVALID_ARGUMENT);
    EXPECT_EQ(engine, nullptr);
    EXPECT_EQ(std::string(zelvan_tts_last_error()),
              "Dictionary not found: /nonexistent/dictionary.txt");
}

TEST_F(CApi, AProgramBuiltAgainstTheOneZeroHeaderRuns) {
    const std::string run = std::string("'") + ABI_1_0_CHECK + "' '" + root_.string() + "'";
    EXPECT_EQ(std::system(run.c_str()), 0);
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
