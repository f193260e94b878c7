// sd_zelvan under a real speech-dispatcher daemon: a private configuration
// (its own runtime folder and socket, the module enabled, ALSA writing to a
// file so that no sound card is needed), clients spd-say and libspeechd.
#include <gtest/gtest.h>

#include <libspeechd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Starts `argv` and waits for it at most `limit`; its exit status, or -1
// when it had to be killed.
int run(const std::vector<std::string>& args, std::chrono::seconds limit = 60s) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -2;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(10ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What the client library reports, from its own thread.
struct Events {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> seen;

    void add(std::string e) {
        std::lock_guard<std::mutex> lock(m);
        seen.push_back(std::move(e));
        cv.notify_all();
    }
    bool wait_for(const std::string& e, std::chrono::seconds limit = 60s) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, limit, [&] {
            return std::find(seen.begin(), seen.end(), e) != seen.end();
        });
    }
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(m);
        return std::exchange(seen, {});
    }
} events;

void on_event(size_t, size_t, SPDNotificationType type) {
    events.add(type == SPD_EVENT_END ? "end" : type == SPD_EVENT_CANCEL ? "cancel" : "other");
}
void on_mark(size_t, size_t, SPDNotificationType, char* mark) { events.add(mark); }

class SpeechDispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::absolute("speech-dispatcher");
        fs::remove_all(root_);
        fs::create_directories(root_ / "conf/modules");
        fs::create_directories(root_ / "home");
        fs::create_directories(root_ / "run");
        fs::create_directories(root_ / "log");
        std::ofstream(root_ / "conf/speechd.conf")
            << "LogDir \"" << (root_ / "log").string() << "\"\n"
            << "AudioOutputMethod \"alsa\"\n"
            << "AddModule \"zelvan\" \"" SD_ZELVAN_PROGRAM "\" \"zelvan.conf\"\n"
            << "DefaultModule zelvan\n";
        std::ofstream(root_ / "conf/modules/zelvan.conf")
            << "ZelvanModelPath \"" MODELS_ROOT "\"\n";
        // ALSA's file plugin keeps what the server plays.
        std::ofstream(root_ / "home/.asoundrc")
            << "pcm.!default { type file slave.pcm \"null\" file \""
            << (root_ / "audio.raw").string() << "\" format \"raw\" }\n";
        socket_ = (root_ / "speechd.sock").string();
        setenv("HOME", (root_ / "home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
        setenv("SPEECHD_ADDRESS", ("unix_socket:" + socket_).c_str(), 1);

        // A daemon left behind by a crashed test ends 30 s after its last client.
        std::vector<std::string> args = {"speech-dispatcher", "-s", "-t", "30", "-c",
                                         "unix_socket", "-S", socket_, "-C",
                                         (root_ / "conf").string()};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawnp(&daemon_, argv[0], nullptr, nullptr, argv.data(), environ), 0)
            << "speech-dispatcher is not installed (scripts/install-deps)";
        for (int i = 0; i < 1000 && !fs::exists(socket_); ++i) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(fs::exists(socket_)) << "speech-dispatcher did not start";
    }

    void TearDown() override {
        if (daemon_ > 0) {
            kill(daemon_, SIGTERM);
            waitpid(daemon_, nullptr, 0);
        }
    }

    std::uintmax_t audio_bytes() const {
        std::error_code ec;
        const auto size = fs::file_size(root_ / "audio.raw", ec);
        return ec ? 0 : size;
    }

    fs::path root_;
    std::string socket_;
    pid_t daemon_ = 0;
};

TEST_F(SpeechDispatcher, SpeaksMarksAndStops) {
    // The command users run, waiting for the end of the message.
    EXPECT_EQ(run({"spd-say", "-o", "zelvan", "-w", "Привет, мир!"}), 0);
    const std::uintmax_t first = audio_bytes();
    EXPECT_GT(first, 0u);
    EXPECT_EQ(run({"spd-say", "-o", "zelvan", "-l", "kk", "-t", "female1", "-w", "Сәлем"}), 0);
    EXPECT_GT(audio_bytes(), first);

    // The client library: index marks in order, then STOP in a long text.
    SPDConnectionAddress address{};
    address.method = SPD_METHOD_UNIX_SOCKET;
    address.unix_socket_name = socket_.data();
    char* error = nullptr;
    SPDConnection* c = spd_open2("zelvan", "test", nullptr, SPD_MODE_THREADED, &address, 0, &error);
    ASSERT_NE(c, nullptr) << (error ? error : "");
    c->callback_end = on_event;
    c->callback_cancel = on_event;
    c->callback_im = on_mark;
    spd_set_notification_on(c, SPD_END);
    spd_set_notification_on(c, SPD_CANCEL);
    spd_set_notification_on(c, SPD_INDEX_MARKS);
    ASSERT_EQ(spd_set_output_module(c, "zelvan"), 0);
    ASSERT_EQ(spd_set_data_mode(c, SPD_DATA_SSML), 0);

    ASSERT_GE(spd_say(c, SPD_TEXT,
                      "<speak>Раз.<mark name=\"one\"/> Два.<mark name=\"two\"/> Три.</speak>"),
              0);
    ASSERT_TRUE(events.wait_for("end"));
    EXPECT_EQ(events.take(), (std::vector<std::string>{"one", "two", "end"}));

    std::string long_text = "<speak>";
    for (int i = 0; i < 300; ++i)
        long_text += "Это предложение номер " + std::to_string(i) + ".<mark name=\"s" +
                     std::to_string(i) + "\"/> ";
    long_text += "</speak>";
    ASSERT_GE(spd_say(c, SPD_TEXT, long_text.c_str()), 0);
    ASSERT_TRUE(events.wait_for("s0"));
    spd_stop(c);
    ASSERT_TRUE(events.wait_for("cancel"));
    const std::vector<std::string> stopped = events.take();
    EXPECT_EQ(std::count(stopped.begin(), stopped.end(), "end"), 0);
    EXPECT_LT(stopped.size(), 300u);

    // Ready at once for the next message.
    ASSERT_GE(spd_say(c, SPD_TEXT, "<speak>Снова.<mark name=\"again\"/></speak>"), 0);
    ASSERT_TRUE(events.wait_for("end"));
    EXPECT_EQ(events.take(), (std::vector<std::string>{"again", "end"}));
    spd_close(c);
}

}  // namespace
