#include "client/test_command.h"

#include "platform/local_pipe.h"
#include "platform/named_signal_cleanup.h"
#include "platform/object_names.h"
#include "tools/test_models.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
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
    // "Да." is 5 ids and "Нет, пять." 12, at 480 samples each.
    EXPECT_EQ(wav.size() - 44, 2u * 480 * (5 + 12));

    std::ifstream in(path("a.json"));
    const auto timings = nlohmann::json::parse(in);
    ASSERT_EQ(timings.size(), 3u);
    EXPECT_EQ(timings[0]["word"], "Да.");
    EXPECT_EQ(timings[1]["word"], "Нет,");
    EXPECT_EQ(timings[2]["word"], "пять.");
    // "пять." ends 11 symbols into the 50 ms after "Да.".
    EXPECT_NEAR(timings[2]["end"].get<double>(), 0.05 + 0.11, 1e-6);

    const Output info = zelvan_tts("info");
    EXPECT_EQ(info.out, "speakers: 60\nsample rate: 48000\n");

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

TEST_F(Say, ReportsServerErrorsAndBadArguments) {
    test_models::write_voice_model((dir_ / "models" / "multivoice_base.bin").string(),
                                   test_models::VoiceModelKind::Raising);
    const Output r = zelvan_tts("say -o '" + path("b.wav") + "' 'Да.'");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("server error 3: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("test voice model failure"), std::string::npos) << r.err;

    for (const char* args :
         {"say --speed fast hi", "say --voice 99 hi", "say --loud hi", "say a b"}) {
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

}  // namespace
}  // namespace zelvan_tts
