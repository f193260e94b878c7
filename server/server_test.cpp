#include "protocol/protocol.h"
#include "server/server_loop.h"

#include "engine/audio_processing.h"
#include "engine/word_timestamps.h"
#include "platform/local_pipe.h"
#include "platform/named_signal_cleanup.h"
#include "platform/object_names.h"
#include "shared/symbols/symbols.h"
#include "tools/test_models.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using test_models::kSamplesPerSymbol;

struct Message {
    std::uint32_t type = 0;
    Bytes payload;
};

// A client that speaks the protocol byte by byte, as an outside program would.
class RawClient {
public:
    RawClient() : pipe_(connect_pipe(object_name(NamedObject::Pipe))) {}
    bool connected() const { return pipe_ != nullptr; }

    // Header and payload in one write.
    void send(std::uint32_t type, const Bytes& payload = {}) {
        pipe_->write_all(frame(type, payload).data(), 8 + payload.size(), 5000);
    }
    static Bytes frame(std::uint32_t type, const Bytes& payload, std::uint32_t length) {
        Bytes out(8);
        put_u32(out.data(), type);
        put_u32(out.data() + 4, length);
        out.insert(out.end(), payload.begin(), payload.end());
        return out;
    }
    static Bytes frame(std::uint32_t type, const Bytes& payload = {}) {
        return frame(type, payload, static_cast<std::uint32_t>(payload.size()));
    }
    void send_raw(const Bytes& bytes) { pipe_->write_all(bytes.data(), bytes.size(), 5000); }

    std::optional<Message> receive(int timeout_ms = 20000) {
        std::uint8_t header[8];
        if (!pipe_->read_exact(header, 8, timeout_ms)) return std::nullopt;
        Message m{get_u32(header), Bytes(get_u32(header + 4))};
        if (!m.payload.empty() &&
            !pipe_->read_exact(m.payload.data(), m.payload.size(), timeout_ms)) {
            return std::nullopt;
        }
        return m;
    }

    // Every reply up to and including SynthesisDone or Error.
    std::vector<Message> replies_of_synthesis() {
        std::vector<Message> out;
        while (auto m = receive()) {
            out.push_back(*m);
            if (m->type == 103 || m->type == 104) break;
        }
        return out;
    }

    // True when nothing arrives within the time.
    bool silent_for(int ms) { return !pipe_->wait_readable(ms); }
    void close() { pipe_.reset(); }

private:
    std::unique_ptr<PipeConnection> pipe_;
};

Bytes synthesize(const std::string& text, std::int32_t speaker = 20) {
    ReqSynth r;
    r.speaker_id = speaker;
    return encode_req_synth(r, text);
}

// The server's PCM of the test model's audio for a chunk.
std::vector<std::int16_t> expected_pcm(const std::string& chunk, int speaker) {
    std::vector<float> audio;
    for (std::int64_t id : encode_text(chunk, SymbolMap::instance())) {
        audio.insert(audio.end(), kSamplesPerSymbol, test_models::expected_sample(id, speaker));
    }
    return to_pcm16(audio);
}

std::vector<std::int16_t> pcm_of(const Message& m) {
    std::vector<std::int16_t> out(get_u32(m.payload.data()));
    for (std::size_t k = 0; k < out.size(); ++k) {
        out[k] = static_cast<std::int16_t>(m.payload[4 + 2 * k] | m.payload[5 + 2 * k] << 8);
    }
    return out;
}

std::vector<std::uint32_t> types_of(const std::vector<Message>& messages) {
    std::vector<std::uint32_t> out;
    for (const Message& m : messages) out.push_back(m.type);
    return out;
}

class Server : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = fs::temp_directory_path() / ("zelvan_server_" + std::to_string(getpid()));
        fs::create_directories(root_ / "timed");
        fs::create_directories(root_ / "raising");
        test_models::write_voice_model((root_ / "timed" / "multivoice_base.bin").string(),
                                       test_models::VoiceModelKind::Timed);
        test_models::write_voice_model((root_ / "raising" / "multivoice_base.bin").string(),
                                       test_models::VoiceModelKind::Raising);
    }
    static void TearDownTestSuite() { fs::remove_all(root_); }

    void SetUp() override {
        static int counter = 0;
        setenv("ZELVAN_TTS_NAMESPACE",
               ("server." + std::to_string(getpid()) + "." + std::to_string(++counter)).c_str(), 1);
        use_model("timed");
    }
    void TearDown() override {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        test_support::remove_change_signal();
    }

    static void use_model(const std::string& name) {
        setenv("ZELVAN_TTS_MODEL_PATH", (root_ / name).c_str(), 1);
    }

    // Starts the server program; its output goes to files named after `tag`.
    pid_t start(const std::vector<std::string>& args = {}, const std::string& tag = "out") {
        std::vector<std::string> owned{SERVER_PROGRAM};
        owned.insert(owned.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : owned) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (root_ / (tag + ".stdout")).c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (root_ / (tag + ".stderr")).c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, owned[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        pids_.push_back(pid);
        return pid;
    }

    static std::string output(const std::string& tag, const std::string& stream) {
        std::ifstream in(root_ / (tag + "." + stream));
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Waits until the pipe takes connections.
    static bool ready() {
        for (int i = 0; i < 3000; ++i) {
            if (connect_pipe(object_name(NamedObject::Pipe))) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // The exit code once the process ends within the time, or -1.
    int exit_code(pid_t pid, int timeout_ms = 30000) {
        for (int waited = 0; waited < timeout_ms; waited += 10) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pids_.erase(std::remove(pids_.begin(), pids_.end(), pid), pids_.end());
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    static inline fs::path root_;
    std::vector<pid_t> pids_;
};

TEST_F(Server, AnswersInfoAndIgnoresUnknownMessages) {
    start();
    ASSERT_TRUE(ready());
    RawClient c;
    ASSERT_TRUE(c.connected());
    c.send(1, {1, 2, 3, 4, 5});  // a payload that is read and discarded
    auto info = c.receive();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->type, 101u);
    EXPECT_EQ(info->payload, (Bytes{60, 0, 0, 0, 0x80, 0xBB, 0, 0}));

    c.send(7, {9, 9, 9});
    c.send(3);  // Cancel outside a synthesis: unknown, ignored
    EXPECT_TRUE(c.silent_for(300));
    c.send(1);
    ASSERT_TRUE(c.receive());
}

TEST_F(Server, ValidatesTheSynthesizePayload) {
    start();
    ASSERT_TRUE(ready());
    RawClient c;
    Bytes record = synthesize("");
    c.send(2, Bytes(record.begin(), record.begin() + 27));
    auto reply = c.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, 104u);
    EXPECT_EQ(reply->payload, (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));

    put_u32(record.data() + 16, 1);  // announces a text byte that is not there
    c.send(2, record);
    reply = c.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, (Bytes{2, 0, 0, 0, 0, 0, 0, 0}));

    put_u32(record.data() + 16, 0xFFFFFFFF);  // no 32-bit overflow in the check
    c.send(2, record);
    reply = c.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload, (Bytes{2, 0, 0, 0, 0, 0, 0, 0}));

    c.send(2, synthesize(""));
    const auto empty = c.replies_of_synthesis();
    ASSERT_EQ(types_of(empty), std::vector<std::uint32_t>{103});
    EXPECT_TRUE(empty[0].payload.empty());
}

TEST_F(Server, StreamsOneBlockPerSentenceThenTheWordTimes) {
    start();
    ASSERT_TRUE(ready());
    RawClient c;
    // The header and the payload in two writes are served alike.
    const Bytes payload = synthesize("Да. Нет.");
    c.send_raw(RawClient::frame(2, {}, static_cast<std::uint32_t>(payload.size())));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    c.send_raw(payload);
    const auto replies = c.replies_of_synthesis();
    ASSERT_EQ(types_of(replies), (std::vector<std::uint32_t>{102, 102, 103}));
    EXPECT_EQ(pcm_of(replies[0]), expected_pcm("Да.", 20));
    EXPECT_EQ(pcm_of(replies[1]), expected_pcm("Нет.", 20));
    const auto words = decode_timestamps(replies[2].payload.data(), replies[2].payload.size());
    ASSERT_EQ(replies[2].payload.size(), 16u);
    EXPECT_FLOAT_EQ(words[1].start, 0.06f);  // after the 50 ms of "Да." with its framing

    for (std::int32_t speaker : {-1, 60}) {  // served with voice 0
        c.send(2, synthesize("Да.", speaker));
        const auto r = c.replies_of_synthesis();
        ASSERT_EQ(r.size(), 2u);
        EXPECT_EQ(pcm_of(r[0]), expected_pcm("Да.", 0)) << speaker;
    }
}

TEST_F(Server, SendsWordSpansOnlyWhenAsked) {
    // The defaults of the text steps, whatever the user chose.
    setenv("XDG_CONFIG_HOME", (root_ / "no-config").c_str(), 1);
    start();
    ASSERT_TRUE(ready());
    RawClient c;
    struct Word {
        std::string spoken;
        std::uint32_t offset, length;
    };
    const struct {
        std::string text;
        std::vector<Word> words;
    } cases[] = {
        {"Да. Нет, 5.", {{"Да.", 0, 5}, {"Нет,", 6, 7}, {"п+ять.", 14, 2}}},
        // Every word of a number spans the number as written.
        {"Нет, 22.", {{"Нет,", 0, 7}, {"дв+адцать", 8, 3}, {"дв+а.", 8, 3}}},
        {"", {}},
    };
    for (const auto& k : cases) {
        c.send(2, synthesize(k.text));
        const auto plain = c.replies_of_synthesis();
        ReqSynth r;
        r.speaker_id = 20;
        r.flags = kWantWordSpans;
        c.send(2, encode_req_synth(r, k.text));
        auto asked = c.replies_of_synthesis();
        // The same messages, and the spans just before the word times.
        ASSERT_GE(asked.size(), 2u) << k.text;
        const Message spans = asked[asked.size() - 2];
        asked.erase(asked.end() - 2);
        EXPECT_EQ(types_of(asked), types_of(plain)) << k.text;
        for (std::size_t m = 0; m < plain.size() && m < asked.size(); ++m)
            EXPECT_EQ(asked[m].payload, plain[m].payload) << k.text << " message " << m;
        ASSERT_EQ(spans.type, 106u) << k.text;
        const auto words = decode_word_spans(spans.payload.data(), spans.payload.size());
        ASSERT_TRUE(words) << k.text;
        ASSERT_EQ(words->size(), k.words.size()) << k.text;
        for (std::size_t w = 0; w < words->size(); ++w) {
            EXPECT_EQ((*words)[w].word, k.words[w].spoken) << k.text;
            EXPECT_EQ((*words)[w].offset, k.words[w].offset) << k.text << " " << w;
            EXPECT_EQ((*words)[w].length, k.words[w].length) << k.text << " " << w;
        }
    }
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(Server, CancelAndQueuedRequests) {
    start();
    ASSERT_TRUE(ready());
    RawClient c;
    // A cancel already waiting when the first block is ready: no audio, the
    // first chunk's words.
    Bytes both = RawClient::frame(2, synthesize("Раз. Два. Три."));
    const Bytes cancel = RawClient::frame(3);
    both.insert(both.end(), cancel.begin(), cancel.end());
    c.send_raw(both);
    auto replies = c.replies_of_synthesis();
    ASSERT_EQ(types_of(replies), std::vector<std::uint32_t>{103});
    EXPECT_EQ(replies[0].payload.size(), 8u);

    // A cancel with a payload has its payload consumed, not read as a header.
    Bytes with_payload = RawClient::frame(2, synthesize("Раз. Два."));
    const Bytes odd_cancel = RawClient::frame(3, {1, 0, 0, 0, 1, 0, 0, 0});
    const Bytes info = RawClient::frame(1);
    with_payload.insert(with_payload.end(), odd_cancel.begin(), odd_cancel.end());
    with_payload.insert(with_payload.end(), info.begin(), info.end());
    c.send_raw(with_payload);
    ASSERT_EQ(types_of(c.replies_of_synthesis()), std::vector<std::uint32_t>{103});
    auto next = c.receive();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->type, 101u);

    // A second request queued behind the first waits its turn.
    Bytes two = RawClient::frame(2, synthesize("Раз. Два."));
    const Bytes second = RawClient::frame(2, synthesize("Три."));
    two.insert(two.end(), second.begin(), second.end());
    c.send_raw(two);
    EXPECT_EQ(types_of(c.replies_of_synthesis()), (std::vector<std::uint32_t>{102, 102, 103}));
    EXPECT_EQ(types_of(c.replies_of_synthesis()), (std::vector<std::uint32_t>{102, 103}));
}

TEST_F(Server, SurvivesClientsThatVanishOrOverreach) {
    start({"--debug"});
    ASSERT_TRUE(ready());
    {
        RawClient c;
        std::string long_text;
        for (int i = 0; i < 200; ++i) long_text += "Предложение номер " + std::to_string(i) + ". ";
        c.send(2, synthesize(long_text));
        ASSERT_TRUE(c.receive());
        c.close();  // gone mid-stream
    }
    {
        RawClient c;
        c.send_raw(RawClient::frame(1, {}, 0xFFFFFFF0u));  // would need 4 GiB
        EXPECT_FALSE(c.receive(5000)) << "the server closes such a connection";
    }
    RawClient c;
    c.send(1);
    ASSERT_TRUE(c.receive()) << "the server still serves";
    c.close();
    EXPECT_NE(
        output("out", "stdout").find("Message too large (4294967280 bytes), closing connection."),
        std::string::npos);
}

TEST_F(Server, ReportsSynthesisFailuresAsErrorThree) {
    use_model("raising");
    start();
    ASSERT_TRUE(ready());
    RawClient c;
    c.send(2, synthesize("Да."));
    const auto replies = c.replies_of_synthesis();
    ASSERT_EQ(types_of(replies), std::vector<std::uint32_t>{104});
    const auto error = decode_error(replies[0].payload.data(), replies[0].payload.size());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 3u);
    EXPECT_NE(error->message.find("test voice model failure"), std::string::npos);
}

TEST_F(Server, LifecycleAndConsoleLines) {
    const pid_t first = start({"x", "--debug"}, "first");
    ASSERT_TRUE(ready());
    EXPECT_EQ(exit_code(start({"--debug"}, "second")), 0) << "a second instance leaves at once";
    EXPECT_EQ(output("second", "stdout"), "");
    {
        RawClient c;
        c.send(1);
        ASSERT_TRUE(c.receive());
        c.send(99);  // stays connected after Shutdown
        EXPECT_EQ(exit_code(first), 0);
    }
    const std::string expected =
        "Loading model from: " + (root_ / "timed" / "multivoice_base.bin").string() +
        "\n"
        "Model loaded. Speakers: 60, Sample rate: 48000\n"
        "Starting pipe server...\n"
        "Waiting for client...\n"
        "Client connected.\n"
        "Client disconnected.\n"
        "Waiting for client...\n"
        "Client connected.\n"
        "Client disconnected.\n"
        "Server shutting down.\n";
    // The ready probe of the test connects once without a message.
    EXPECT_EQ(output("first", "stdout"), expected);

    // Without an exact --debug the server is silent.
    const pid_t quiet = start({"--DEBUG", "--debug2"}, "quiet");
    ASSERT_TRUE(ready());
    RawClient().send(99);
    EXPECT_EQ(exit_code(quiet), 0);
    EXPECT_EQ(output("quiet", "stdout") + output("quiet", "stderr"), "");

    use_model("missing");
    EXPECT_EQ(exit_code(start({"--debug"}, "missing")), 1);
    EXPECT_EQ(
        output("missing", "stderr").rfind("Failed to load model: Encrypted model not found: ", 0),
        0u)
        << output("missing", "stderr");
}

TEST_F(Server, EndsAfterTheInactivityLimit) {
    // The limit is a parameter of the server loop; only code linking the
    // server library can shorten it.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ServerOptions options;
        options.inactivity_limit_ms = 1500;
        options.wait_step_ms = 100;
        _exit(run_server(options));
    }
    pids_.push_back(child);
    ASSERT_TRUE(ready());
    // Activity restarts the limit: a request at 1 s keeps the server up past 1.5 s.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    {
        RawClient c;
        c.send(2, synthesize("Да."));
        ASSERT_EQ(c.replies_of_synthesis().size(), 2u);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_TRUE(RawClient().connected()) << "still up 2 s after start";
    EXPECT_EQ(exit_code(child, 10000), 0);
}

// User and system CPU time the process has used, in milliseconds.
long cpu_ms_of(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Field 3 onwards follow the command name, which ends at the last ')'.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number >= 14) ticks += std::stol(field);  // utime, stime
    }
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
}

// In the server's process: on 'x' uses up every file descriptor the process
// may have, on 'r' gives them back; answers each command when done.
void descriptor_hog(int commands, int answers) {
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    std::vector<int> taken;
    char command = 0;
    while (read(commands, &command, 1) == 1) {
        if (command == 'x') {
            rlimit low = saved;
            low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 64);
            setrlimit(RLIMIT_NOFILE, &low);
            for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
        } else {
            for (int fd : taken) close(fd);
            taken.clear();
            setrlimit(RLIMIT_NOFILE, &saved);
        }
        if (write(answers, &command, 1) != 1) return;
    }
}

TEST_F(Server, PausesWhileNoClientCanBeTakenThenServesIt) {
    int commands[2];
    int answers[2];
    ASSERT_EQ(pipe(commands), 0);
    ASSERT_EQ(pipe(answers), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(open((root_ / "hog.stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open((root_ / "hog.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        std::thread(descriptor_hog, commands[0], answers[1]).detach();
        ServerOptions options;
        options.debug = true;
        _exit(run_server(options));
    }
    pids_.push_back(child);
    close(commands[0]);
    close(answers[1]);
    const auto tell = [&](char command) {
        pollfd answer{answers[0], POLLIN, 0};
        char echoed = 0;
        return write(commands[1], &command, 1) == 1 && poll(&answer, 1, 10000) == 1 &&
               read(answers[0], &echoed, 1) == 1 && echoed == command;
    };
    ASSERT_TRUE(ready());
    ASSERT_TRUE(tell('x'));
    RawClient c;  // queued: the server has no descriptor to take it with
    ASSERT_TRUE(c.connected());
    c.send(1);
    const long before = cpu_ms_of(child);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    // Spinning would use most of a core; pausing uses next to nothing.
    EXPECT_LT(cpu_ms_of(child) - before, 200) << "ms of CPU in 2 s";

    ASSERT_TRUE(tell('r'));
    const auto info = c.receive(10000);
    ASSERT_TRUE(info) << "the queued client is served once descriptors are free";
    EXPECT_EQ(info->type, 101u);
    c.send(99);
    EXPECT_EQ(exit_code(child), 0);
    close(commands[1]);
    close(answers[0]);
    const std::string errors = output("hog", "stderr");
    EXPECT_EQ(errors, "Failed to accept client: " + std::to_string(EMFILE) + "\n");
}

}  // namespace
}  // namespace zelvan_tts
