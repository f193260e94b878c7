#include "sapi/engine_object_checks.h"
#include "sapi/plugin_fixture.h"
#include "speech_platform/com_runtime.h"
#include "speech_platform/platform_session.h"
#include "speech_platform/text_fragments.h"
#include "tools/test_models.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace zelvan_tts::sapi_test {
namespace {

namespace sp = speech_platform;
namespace fs = std::filesystem;

std::vector<sp::recorded_event> of_kind(const std::vector<sp::recorded_event>& events,
                                        SPEVENTENUM id) {
    std::vector<sp::recorded_event> out;
    for (const auto& e : events) {
        if (e.id == id) out.push_back(e);
    }
    return out;
}

com::ptr<ISpObjectWithToken> with_token(ISpTTSEngine* engine) {
    com::ptr<ISpObjectWithToken> p;
    engine->QueryInterface(IID_ISpObjectWithToken, p.receive_void());
    return p;
}

TEST(Speak, OutputFormatAndArguments) {
    auto engine = make_engine(0);
    expect_output_format(engine.get());

    sp::engine_site site;
    sp::fragment_list fragments;
    fragments.add(SPVA_Speak, com::to_wide("да"), 0);
    EXPECT_EQ(engine->Speak(0, SPDFID_WaveFormatEx, nullptr, nullptr, &site), E_INVALIDARG);
    EXPECT_EQ(engine->Speak(0, SPDFID_WaveFormatEx, nullptr, fragments.head(), nullptr),
              E_INVALIDARG);

    // Only a silence: no audio, no events.
    sp::fragment_list silence;
    silence.add(SPVA_Silence, com::wstring(), 0, 0, 500);
    EXPECT_EQ(sp::speak(engine.get(), silence.head(), site, nullptr), S_OK);
    EXPECT_TRUE(site.audio().empty());
    EXPECT_TRUE(site.events().empty());
}

TEST(Speak, SpeakerIdOfTheToken) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"7", 7}, {"75", 59}, {"-3", 0}, {"abc", 0}, {nullptr, 0}, {"12abc", 12}};
    auto engine = make_engine(0);
    for (const auto& [text, voice] : cases) {
        auto token = make_custom_token(text);
        ASSERT_EQ(with_token(engine.get())->SetObjectToken(token.get()), S_OK);
        sp::engine_site site;
        ASSERT_EQ(speak_text(engine.get(), "да", site), S_OK);
        EXPECT_EQ(voice_of(site.audio()), voice) << (text ? text : "(none)");

        com::ptr<ISpObjectToken> held;
        ASSERT_EQ(with_token(engine.get())->GetObjectToken(held.receive()), S_OK);
        EXPECT_EQ(held.get(), token.get());
    }
    // No Attributes key at all.
    auto token = make_custom_token("9", false);
    ASSERT_EQ(with_token(engine.get())->SetObjectToken(token.get()), S_OK);
    sp::engine_site site;
    ASSERT_EQ(speak_text(engine.get(), "да", site), S_OK);
    EXPECT_EQ(voice_of(site.audio()), 0);

    // Through the enumerator's own token.
    auto voice33 = make_engine(33);
    sp::engine_site site33;
    ASSERT_EQ(speak_text(voice33.get(), "да", site33), S_OK);
    EXPECT_EQ(voice_of(site33.audio()), 33);
}

TEST(Speak, SentencesBookmarksAndOffsets) {
    auto engine = make_engine(20);
    sp::engine_site site;
    sp::fragment_list fragments;
    fragments.add(SPVA_Bookmark, com::to_wide("42"), 0);
    fragments.add(SPVA_Speak, com::to_wide("Hello there. Good night!"), 0);
    fragments.add(SPVA_Bookmark, com::to_wide("end"), 30);
    ASSERT_EQ(sp::speak(engine.get(), fragments.head(), site, nullptr), S_OK);

    const auto events = site.events();
    const auto sentences = of_kind(events, SPEI_SENTENCE_BOUNDARY);
    ASSERT_EQ(sentences.size(), 2u);
    EXPECT_EQ(sentences[0].wparam, 12u);
    EXPECT_EQ(sentences[0].lparam, 0);
    EXPECT_EQ(sentences[0].offset, 0u);
    EXPECT_EQ(sentences[1].wparam, 11u);
    EXPECT_EQ(sentences[1].lparam, 13);
    EXPECT_GT(sentences[1].offset, 0u);
    EXPECT_LT(sentences[1].offset, site.audio().size());
    EXPECT_EQ(sentences[1].offset % 2, 0u);

    const auto marks = of_kind(events, SPEI_TTS_BOOKMARK);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].wparam, 42u);
    EXPECT_EQ(com::to_utf8(marks[0].lparam_text), "42");
    EXPECT_EQ(marks[0].offset, 0u);
    EXPECT_EQ(marks[1].wparam, 0u);
    EXPECT_EQ(com::to_utf8(marks[1].lparam_text), "end");
    EXPECT_EQ(marks[1].offset, site.audio().size());
    EXPECT_EQ(events.front().id, SPEI_TTS_BOOKMARK);
    EXPECT_EQ(events.back().id, SPEI_TTS_BOOKMARK);

    // A site with no interest at all gets only the bookmarks. (The masks
    // include the platform's flag-check bits, so any real interest mask
    // asks for sentences and words as well.)
    sp::engine_site quiet;
    quiet.interest = 0;
    ASSERT_EQ(sp::speak(engine.get(), fragments.head(), quiet, nullptr), S_OK);
    EXPECT_EQ(quiet.events().size(), 2u);
    EXPECT_EQ(quiet.audio(), site.audio());
}

TEST(Speak, WordEventsWithFewerTimesThanWords) {
    auto engine = make_engine(20);
    sp::engine_site site;
    sp::fragment_list fragments;
    // "##" has no sound of its own: four words, two spoken.
    fragments.add(SPVA_Speak, com::to_wide("да нет ## ##"), 5);
    ASSERT_EQ(sp::speak(engine.get(), fragments.head(), site, nullptr), S_OK);
    const auto words = of_kind(site.events(), SPEI_WORD_BOUNDARY);
    ASSERT_EQ(words.size(), 4u);
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {{2, 5}, {3, 8}, {2, 12}, {2, 15}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(words[i].wparam, expected[i].first) << i;
        EXPECT_EQ(words[i].lparam, expected[i].second) << i;
        EXPECT_LE(words[i].offset, site.audio().size());
    }
    EXPECT_LT(words[0].offset, words[1].offset);
    EXPECT_EQ(words[2].offset, words[1].offset);
    EXPECT_EQ(words[3].offset, words[1].offset);
}

TEST(Speak, AbortStopsWithinOnePiece) {
    auto engine = make_engine(20);
    sp::engine_site site;
    site.on_write = [&](std::size_t) { site.request_abort(); };
    const std::string first(40, 'a');
    ASSERT_EQ(speak_text(engine.get(), first + ". Второе предложение здесь.", site), S_OK);
    EXPECT_EQ(site.audio().size(), 9600u);
    EXPECT_EQ(site.write_sizes(), std::vector<ULONG>{9600});
    // One sentence event: the second sentence was never reached.
    EXPECT_EQ(of_kind(site.events(), SPEI_SENTENCE_BOUNDARY).size(), 1u);

    // A failing write ends the speaking too, with S_OK.
    sp::engine_site failing;
    failing.write_limit = 9600 * 2;
    ASSERT_EQ(speak_text(engine.get(), first + ". Второе предложение здесь.", failing), S_OK);
    EXPECT_EQ(failing.audio().size(), 9600u * 2);
    EXPECT_EQ(of_kind(failing.events(), SPEI_SENTENCE_BOUNDARY).size(), 1u);
}

TEST(Speak, RateAndVolumeOfTheSite) {
    auto engine = make_engine(20);
    const std::string text = "Это довольно длинное предложение для проверки скорости.";
    sp::engine_site normal;
    ASSERT_EQ(speak_text(engine.get(), text, normal), S_OK);
    sp::engine_site fast;
    fast.rate = 15;  // treated as 10: three times as fast
    ASSERT_EQ(speak_text(engine.get(), text, fast), S_OK);
    const double ratio =
        static_cast<double>(fast.audio().size()) / static_cast<double>(normal.audio().size());
    EXPECT_GT(ratio, 0.25);
    EXPECT_LT(ratio, 0.42);

    sp::engine_site quiet;
    quiet.volume = 50;
    ASSERT_EQ(speak_text(engine.get(), text, quiet), S_OK);
    const auto loud = samples_of(normal.audio());
    const auto half = samples_of(quiet.audio());
    ASSERT_EQ(loud.size(), half.size());
    EXPECT_NEAR(half[0], loud[0] / 2.0, 1.0);

    // A site that cannot tell its volume: full volume.
    sp::engine_site unknown;
    unknown.volume_fails = true;
    ASSERT_EQ(speak_text(engine.get(), text, unknown), S_OK);
    EXPECT_EQ(unknown.audio(), normal.audio());
}

TEST(Speak, TwoEnginesOnTwoThreads) {
    auto a = make_engine(3);
    auto b = make_engine(40);
    sp::engine_site site_a;
    sp::engine_site site_b;
    HRESULT hr_a = E_FAIL;
    HRESULT hr_b = E_FAIL;
    std::thread ta([&] { hr_a = speak_text(a.get(), "Первый поток. Ещё одно.", site_a); });
    std::thread tb([&] { hr_b = speak_text(b.get(), "Второй поток. Ещё одно.", site_b); });
    ta.join();
    tb.join();
    EXPECT_EQ(hr_a, S_OK);
    EXPECT_EQ(hr_b, S_OK);
    EXPECT_EQ(voice_of(site_a.audio()), 3);
    EXPECT_EQ(voice_of(site_b.audio()), 40);
}

TEST(Speak, MissingModelThenInstalled) {
    auto& lib = engine_library();
    const fs::path empty = dirs().base / "empty_root";
    fs::create_directories(empty);
    setenv("ZELVAN_TTS_MODEL_PATH", empty.c_str(), 1);
    // Unregistering releases the loaded model.
    ASSERT_EQ(lib.DllUnregisterServer(), S_OK);
    ASSERT_EQ(lib.DllRegisterServer(), S_OK);

    auto engine = make_engine(5);  // its preload fails quietly
    sp::engine_site site;
    EXPECT_EQ(speak_text(engine.get(), "да", site), E_UNEXPECTED);
    EXPECT_TRUE(site.audio().empty());

    // The library's own models directory, beside its directory.
    const fs::path installed = dirs().base / "models" / "tts" / "multivoice_base.bin";
    fs::create_directories(installed.parent_path());
    test_models::write_voice_model(installed.string(), test_models::VoiceModelKind::Timed);
    sp::engine_site again;
    EXPECT_EQ(speak_text(engine.get(), "да", again), S_OK);
    EXPECT_EQ(voice_of(again.audio()), 5);

    setenv("ZELVAN_TTS_MODEL_PATH", dirs().models_root.c_str(), 1);
    fs::remove(installed);
}

TEST(Speak, SayProgramWritesAudioAndEvents) {
    const fs::path wav = dirs().base / "say.wav";
    const fs::path events = dirs().base / "say.json";
    const std::string command =
        std::string(SAY_PROGRAM) + " --voice 20 --rate 0 --volume 100 --events " + events.string() +
        " -o " + wav.string() +
        " 'Да. <bookmark mark=\"7\"/><pitch middle=\"12\">Нет.</pitch> <spell>аб</spell>"
        "<silence msec=\"100\"/>'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ASSERT_TRUE(fs::exists(wav));
    EXPECT_GT(fs::file_size(wav), 44u);

    std::ifstream in(events);
    const auto list = nlohmann::json::parse(in);
    ASSERT_TRUE(list.is_array());
    std::vector<std::string> kinds;
    for (const auto& e : list) kinds.push_back(e.at("event").get<std::string>());
    EXPECT_EQ(kinds, (std::vector<std::string>{"sentence", "word", "bookmark", "sentence", "word",
                                               "sentence", "word"}));
    EXPECT_EQ(list[2].at("lparam"), "7");
    EXPECT_EQ(list[2].at("wparam"), 7);
    EXPECT_EQ(list[0].at("lparam"), 0);
    EXPECT_EQ(list[3].at("wparam"), 4);  // "Нет."

    // Bad input: a clear message and a failing exit code, no file.
    const std::string bad = std::string(SAY_PROGRAM) + " -o " + (dirs().base / "bad.wav").string() +
                            " '<pitch middle=\"x\">a</pitch>' 2>/dev/null";
    EXPECT_NE(std::system(bad.c_str()), 0);
    EXPECT_FALSE(fs::exists(dirs().base / "bad.wav"));
}

}  // namespace
}  // namespace zelvan_tts::sapi_test
