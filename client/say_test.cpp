#include "client/test_command.h"

#include "client/word_labels.h"
#include "platform/local_pipe.h"
#include "platform/named_signal_cleanup.h"
#include "platform/object_names.h"
#include "protocol/protocol.h"
#include "shared/symbols/speakers.h"
#include "tools/test_accentor_models.h"
#include "tools/test_homosolver_models.h"
#include "tools/test_models.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <iterator>
#include <thread>

extern char** environ;

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

// Each test speaks to a server of its own, which zelvan_tts starts itself.
class Say : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        dir_ = fs::temp_directory_path() /
               ("zelvan_say_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
        fs::create_directories(dir_ / "models");
        test_models::write_voice_model((dir_ / "models" / "multivoice_base.bin").string(),
                                       test_models::VoiceModelKind::Timed);
        setenv("ZELVAN_TTS_MODEL_PATH", (dir_ / "models").c_str(), 1);
        setenv("ZELVAN_TTS_NAMESPACE",
               ("say." + std::to_string(getpid()) + "." + std::to_string(counter)).c_str(), 1);
        // No settings file: both optional stages on, whatever the user chose.
        setenv("XDG_CONFIG_HOME", path("config").c_str(), 1);
    }
    void TearDown() override {
        zelvan_tts("shutdown");
        fs::remove_all(dir_);
        test_support::remove_change_signal();
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    static std::vector<std::uint8_t> read_all(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
               static_cast<std::uint32_t>(b[at + 3]) << 24;
    }

    fs::path dir_;
};

TEST_F(Say, StartsTheServerWritesTheWavAndTheWordTimes) {
    const Output r = zelvan_tts("say --voice ru_azat -o '" + path("a.wav") + "' --timings '" +
                                path("a.json") + "' 'Да. Нет, 5.'");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto wav = read_all(path("a.wav"));
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(le32(wav, 40), wav.size() - 44) << "data size fixed up";
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    // "Да." is 5 ids and "Нет, п+ять." 13, at 480 samples each.
    EXPECT_EQ(wav.size() - 44, 2u * 480 * (5 + 13));

    std::ifstream in(path("a.json"));
    const auto timings = nlohmann::json::parse(in);
    ASSERT_EQ(timings.size(), 3u);
    EXPECT_EQ(r.err.find("no word spans"), std::string::npos) << "the server said what it spoke";
    EXPECT_EQ(timings[0]["word"], "Да.");
    EXPECT_EQ(timings[1]["word"], "Нет,");
    EXPECT_EQ(timings[2]["word"], "пять.");
    // Bytes of the text as given: "5." is at 14.
    EXPECT_EQ(timings[1]["offset"], 6);
    EXPECT_EQ(timings[1]["length"], 7);
    EXPECT_EQ(timings[2]["offset"], 14);
    EXPECT_EQ(timings[2]["length"], 2);
    // "п+ять." ends 12 symbols into the 50 ms after "Да.".
    EXPECT_NEAR(timings[2]["end"].get<double>(), 0.05 + 0.12, 1e-6);

    const Output info = zelvan_tts("info");
    // Then what the server loaded: its voice model and each stage.
    EXPECT_EQ(info.out.rfind("speakers: 60\nsample rate: 48000\nvoice model: ", 0), 0u)
        << info.out;
    EXPECT_NE(info.out.find("\nstress ru: "), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\nhomographs: "), std::string::npos) << info.out;

    // Raw PCM to standard output, from standard input.
    const Output raw = zelvan_tts("say --raw --voice 20", "Да.");
    ASSERT_EQ(raw.exit_code, 0) << raw.err;
    EXPECT_EQ(raw.out.size(), 2u * 480 * 5);

    EXPECT_EQ(zelvan_tts("shutdown").exit_code, 0);
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = connect_pipe(object_name(NamedObject::Pipe)) == nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
}

TEST_F(Say, LabelsTheWordsItselfForAServerWithoutWordSpans) {
    // A server of before word spans: it reads no flags and answers with
    // the word times alone.
    int error = 0;
    auto listener = PipeListener::listen(object_name(NamedObject::Pipe), error);
    ASSERT_TRUE(listener && listener->prepare(error));
    std::thread old_server([&] {
        auto client = listener->accept(20000, error);
        MessageHeader header{};
        std::vector<std::uint8_t> request;
        if (!client || !read_message(*client, header, request)) return;
        const auto done = encode_timestamps({{0.0f, 0.05f}, {0.05f, 0.1f}, {0.1f, 0.17f}});
        send_message(*client, MessageType::SynthesisDone, done.data(), done.size());
        read_message(*client, header, request);  // until the client hangs up
    });
    const Output r = zelvan_tts("say -o '" + path("o.wav") + "' --timings '" + path("o.json") +
                                "' 'Да. Нет, 5.'");
    old_server.join();
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("the server sent no word spans"), std::string::npos) << r.err;
    std::ifstream in(path("o.json"));
    const auto timings = nlohmann::json::parse(in);
    ASSERT_EQ(timings.size(), 3u);
    EXPECT_EQ(timings[1]["word"], "Нет,");
    EXPECT_EQ(timings[2]["word"], "пять.");
    EXPECT_EQ(timings[2]["offset"], 14);
}

// Encoded files decode back to the samples spoken: "Да." is 5 ids of 480
// samples; the lossy codecs may pad their last frame.
TEST_F(Say, WritesTheFormatTheFileNameOrTheOptionAsks) {
    struct Case {
        std::string args;
        std::string file;
        int major_format;
        bool exact;
    };
    const Case cases[] = {
        {"-o '" + path("a.flac") + "'", "a.flac", SF_FORMAT_FLAC, true},
        {"-o '" + path("a.ogg") + "'", "a.ogg", SF_FORMAT_OGG, false},
        {"-o '" + path("a.mp3") + "'", "a.mp3", SF_FORMAT_MPEG, false},
        {"--format flac -o '" + path("a.out") + "'", "a.out", SF_FORMAT_FLAC, true},
    };
    for (const Case& c : cases) {
        const Output r = zelvan_tts("say --voice 20 " + c.args + " 'Да.'");
        ASSERT_EQ(r.exit_code, 0) << c.args << ": " << r.err;
        SF_INFO info{};
        SNDFILE* file = sf_open(path(c.file).c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << c.args << ": " << sf_strerror(nullptr);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, c.major_format) << c.args;
        EXPECT_EQ(info.samplerate, 48000) << c.args;
        std::vector<float> block(4096);
        std::size_t frames = 0;
        for (sf_count_t n; (n = sf_readf_float(file, block.data(), 4096)) > 0;)
            frames += static_cast<std::size_t>(n);
        sf_close(file);
        if (c.exact) {
            EXPECT_EQ(frames, 2400u) << c.args;
        } else {
            EXPECT_GE(frames, 2400u) << c.args;
            EXPECT_LT(frames, 2400u + 4800u) << c.args;
        }
    }
}

TEST_F(Say, ReportsServerErrorsAndBadArguments) {
    test_models::write_voice_model((dir_ / "models" / "multivoice_base.bin").string(),
                                   test_models::VoiceModelKind::Raising);
    const Output r = zelvan_tts("say -o '" + path("b.wav") + "' 'Да.'");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("server error 3: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("test voice model failure"), std::string::npos) << r.err;

    for (const char* args :
         {"say --speed fast hi", "say --voice 99 hi", "say --loud hi", "say a b",
          "say --format ogg2 hi", "say --raw --format flac hi"}) {
        const Output bad = zelvan_tts(args);
        EXPECT_EQ(bad.exit_code, 2) << args << ": " << bad.err;
    }
    EXPECT_EQ(zelvan_tts("say -o /nonexistent/dir/x.wav hi").exit_code, 1);
}

TEST_F(Say, CtrlCKeepsTheAudioReceivedSoFar) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "Предложение. ";
    std::ofstream(path("long.txt")) << text;
    // Slowed down, so that the synthesis is still running when Ctrl-C comes.
    std::vector<std::string> owned{ZELVAN_TTS_PROGRAM, "say", "--speed", "0.7", "-o",
                                   path("c.wav")};
    std::vector<char*> argv;
    for (auto& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, path("long.txt").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, owned[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Interrupt once audio is flowing.
    for (int i = 0; i < 3000; ++i) {
        std::error_code ec;
        const auto size = fs::file_size(path("c.wav"), ec);
        if (!ec && size > 44 + 20000) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const auto wav = read_all(path("c.wav"));
    ASSERT_GT(wav.size(), 44u + 20000);
    EXPECT_LT(wav.size(), 44u + 3000u * 2 * 480 * 15 / 0.7 * 0.9) << "stopped early";
    EXPECT_EQ(le32(wav, 40), wav.size() - 44);
}

// SSML: each run asked for with its voice, the break's silence written
// here, the words and the mark timed with everything before them.
TEST_F(Say, SpeaksSsmlRunsWithTheirVoicesAndBreaks) {
    const std::string doc = "<speak>Да.<break time=\"250ms\"/><mark name=\"m\"/>"
                            "<voice name=\"xal_saglar\">Да.</voice></speak>";
    const Output r = zelvan_tts("say --ssml --raw --timings '" + path("s.json") + "' '" + doc + "'");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string by20 = zelvan_tts("say --raw --voice 20 'Да.'").out;
    const std::string by59 = zelvan_tts("say --raw --voice 59 'Да.'").out;
    ASSERT_EQ(by20.size(), 2u * 480 * 5);
    ASSERT_NE(by20, by59);
    // 250 ms is 12000 samples of silence between the two.
    EXPECT_EQ(r.out, by20 + std::string(2 * 12000, '\0') + by59);

    std::ifstream in(path("s.json"));
    const auto timings = nlohmann::json::parse(in);
    ASSERT_EQ(timings.size(), 3u) << timings.dump();
    EXPECT_EQ(timings[0]["word"], "Да.");
    EXPECT_EQ(timings[0]["offset"], 7);
    EXPECT_EQ(timings[1]["mark"], "m");
    EXPECT_EQ(timings[1]["offset"], 33);
    EXPECT_EQ(timings[1]["length"], 16);
    EXPECT_EQ(timings[2]["word"], "Да.");
    EXPECT_EQ(timings[2]["offset"], 74);
    EXPECT_EQ(timings[2]["length"], 5);
    // The mark stands where the word after it starts, after 0.05 s and the pause.
    EXPECT_EQ(timings[1]["start"], timings[2]["start"]);
    EXPECT_NEAR(timings[2]["start"].get<double>(), 0.05 + 0.25, 0.011);

    const Output refused =
        zelvan_tts("say --ssml --raw '<!DOCTYPE speak><speak>x</speak>'");
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("SSML with a document type or entities is refused"),
              std::string::npos)
        << refused.err;
}

TEST_F(Say, SpellsWithTheReadingModes) {
    const Output r = zelvan_tts("say --spell --capitals spell --raw --timings '" +
                                path("m.json") + "' 'Да'");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::ifstream in(path("m.json"));
    const auto timings = nlohmann::json::parse(in);
    ASSERT_EQ(timings.size(), 3u) << timings.dump();
    const char* const kWords[] = {"большая", "дэ,", "а"};
    const int kOffsets[] = {0, 0, 2};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(timings[k]["word"], kWords[k]) << k;
        EXPECT_EQ(timings[k]["offset"], kOffsets[k]) << k;
        EXPECT_EQ(timings[k]["length"], 2) << k;
    }
    EXPECT_EQ(zelvan_tts("say --punctuation loud hi").exit_code, 2);
}

// The number of words the running server times for the text.
std::size_t server_word_count(int voice, const std::string& text) {
    const auto pipe = connect_pipe(object_name(NamedObject::Pipe));
    ReqSynth request;
    request.speaker_id = voice;
    const auto payload = encode_req_synth(request, text);
    if (!pipe || !send_message(*pipe, MessageType::Synthesize, payload.data(), payload.size()))
        return SIZE_MAX;
    MessageHeader header{};
    std::vector<std::uint8_t> reply;
    while (read_message(*pipe, header, reply)) {
        if (header.type == static_cast<std::uint32_t>(MessageType::SynthesisDone))
            return reply.size() / 8;
        if (header.type == static_cast<std::uint32_t>(MessageType::Error)) break;
    }
    return SIZE_MAX;
}

TEST_F(Say, WordCountsAgreeWithTheServer) {
    // Both stages at work: stress marks and resolved homographs in what the
    // server speaks, and in none of what the client labels.
    test_models::StressModelDesign stress;
    stress.words = {{"молоко", {0, 0, 5}, {}}, {"дом", {0}, {}}};
    test_models::write_stress_language((dir_ / "models" / "accentor" / "ru").string(), stress);
    test_models::write_homograph_resources((dir_ / "models" / "homosolver").string(),
                                           test_models::standard_homograph_resources());
    setenv("ZELVAN_TTS_DEBUG_LOG", path("debug.log").c_str(), 1);
    ASSERT_EQ(zelvan_tts("info").exit_code, 0);  // starts the server with the log
    unsetenv("ZELVAN_TTS_DEBUG_LOG");

    std::string long_sentence = "Молоко";  // cut into chunks at its commas
    for (int i = 0; i < 40; ++i) long_sentence += ", дом " + std::to_string(i * 37);
    std::string blocks;  // several blocks of the text steps
    while (blocks.size() < 3000) blocks += "Все знали, что мука лежит в 2 мешках. ";
    const std::pair<int, std::string> cases[] = {
        {20, "Старинный замок на холме стоит уже 250 лет. Hello, world!"},
        {20, "Молоко, дом и замок. Все знали: мука 1,5 кг, 3-4 дня, 10:30."},
        {20, "Стар+инный зам+ок; e-mail test@example.com (C++17) №5 — 2024-й."},
        {20, "Привет 😀 мир ★ 100 000 000 рублей"},
        {20, long_sentence},
        {20, blocks},
        {12, "5 ვაშლი და 12 მსხალი. გამარჯობა, 2024!"},
        {11, "Պետրոսը 3 տարեկան է։ Բարև, 21 աշխարհ"},
        {0, "Salam, dünya! 7 alma və 15 armud."},
        {57, "Salom, dunyo! Shahar 10 ta, O'zbekiston."},
        {55, "Привіт, світе! 21 рік, 3 дні."},
        {20, ""},
    };
    for (const auto& [voice, text] : cases) {
        EXPECT_EQ(label_words(text, speakers[voice].lang).size(), server_word_count(voice, text))
            << voice << ": " << text;
    }
    std::ifstream log(path("debug.log"));
    const std::string lines{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
    EXPECT_NE(lines.find("After: Молок+о"), std::string::npos) << "the stress stage ran";
    EXPECT_NE(lines.find("Before: Старинный зам+ок"), std::string::npos)
        << "the homograph stage ran";
}

TEST_F(Say, PlayFeedsTheAudioToAnInstalledPlayer) {
    const std::string spoken = zelvan_tts("say --raw 'Да. Нет.'").out;
    ASSERT_EQ(spoken.size(), 2u * 480 * (5 + 6));
    // Stand-in players that record what they are given.
    const std::string record = "echo \"$0 $*\" > '" + path("args") + "'; exec /bin/cat > '" +
                               path("heard") + "'";
    const struct {
        std::vector<std::pair<std::string, std::string>> players;  // name, script
        int exit_code;
        std::string command;  // as the player was started, after its folder
    } cases[] = {
        {{{"aplay", record}, {"paplay", record}}, 0, "/aplay -q -t raw -f S16_LE -c 1 -r 48000"},
        {{{"paplay", record}}, 0, "/paplay --raw --format=s16le --channels=1 --rate=48000"},
        {{{"aplay", "exit 3"}}, 1, ""},
        {{}, 1, ""},
    };
    const char* saved_path = std::getenv("PATH");
    const std::string path_before = saved_path != nullptr ? saved_path : "";
    int n = 0;
    for (const auto& c : cases) {
        const fs::path folder = dir_ / ("players" + std::to_string(++n));
        fs::create_directories(folder);
        for (const auto& [name, script] : c.players) {
            std::ofstream(folder / name) << "#!/bin/sh\n" << script << "\n";
            fs::permissions(folder / name, fs::perms::owner_all);
        }
        fs::remove(path("heard"));
        fs::remove("speech.wav");
        setenv("PATH", folder.c_str(), 1);
        const Output r = zelvan_tts("say --play 'Да. Нет.'");
        setenv("PATH", path_before.c_str(), 1);
        EXPECT_EQ(r.exit_code, c.exit_code) << n << ": " << r.err;
        EXPECT_FALSE(fs::exists("speech.wav")) << "--play writes no file unless -o";
        if (c.exit_code != 0) continue;
        std::ifstream args(path("args"));
        std::string command;
        std::getline(args, command);
        EXPECT_EQ(command, folder.string() + c.command);
        const auto heard = read_all(path("heard"));
        EXPECT_EQ(std::string(heard.begin(), heard.end()), spoken) << n;
    }
}

TEST_F(Say, ShowsProgressOnATerminalOnly) {
    std::string text;
    for (int i = 0; i < 6; ++i) text += "Да. ";
    const Output quiet = zelvan_tts("say -o '" + path("q.wav") + "' '" + text + "'");
    ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
    EXPECT_EQ(quiet.err.find("of audio written"), std::string::npos) << quiet.err;

    // The same with its standard error on a terminal.
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    std::vector<std::string> owned{ZELVAN_TTS_PROGRAM, "say", "-o", path("t.wav"), text};
    std::vector<char*> argv;
    for (auto& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, ptsname(terminal), O_WRONLY | O_NOCTTY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, owned[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::string shown;
    char buffer[256];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, got);
    int status = 0;
    waitpid(pid, &status, 0);
    close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    // Six sentences of 5 ids at 480 samples each: 0.3 s in all.
    EXPECT_NE(shown.find("\r0.3 s of audio written"), std::string::npos) << shown;
}

}  // namespace
}  // namespace zelvan_tts
