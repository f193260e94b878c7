// The server under hostile clients, as a real process: garbage, cut-off and
// oversized messages, clients that stall or vanish mid-stream, Cancel storms
// and impossible synthesis parameters. Afterwards it must still answer, and
// its memory must not have grown.
#include "protocol/protocol.h"

#include "engine/word_timestamps.h"
#include "platform/local_pipe.h"
#include "platform/named_signal_cleanup.h"
#include "platform/object_names.h"
#include "tools/test_models.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <thread>

extern char** environ;

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// Resident memory is not a measure of leaks when AddressSanitizer keeps
// freed memory in quarantine; LeakSanitizer checks that build instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasureMemory = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMeasureMemory = false;
#else
constexpr bool kMeasureMemory = true;
#endif
#else
constexpr bool kMeasureMemory = true;
#endif

Bytes frame(std::uint32_t type, const Bytes& payload, std::uint32_t length) {
    Bytes out(kHeaderSize);
    put_u32(out.data(), type);
    put_u32(out.data() + 4, length);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes frame(std::uint32_t type, const Bytes& payload = {}) {
    return frame(type, payload, static_cast<std::uint32_t>(payload.size()));
}

Bytes synthesize(const std::string& text, float speed = 1.0f, float pitch = 1.0f,
                 float volume = 1.0f, std::int32_t speaker = 3) {
    ReqSynth r;
    r.speaker_id = speaker;
    r.speed = speed;
    r.pitch = pitch;
    r.volume = volume;
    return frame(static_cast<std::uint32_t>(MessageType::Synthesize), encode_req_synth(r, text));
}

struct Reply {
    std::uint32_t type = 0;
    Bytes payload;
};

class Client {
public:
    Client() : pipe_(connect_pipe(object_name(NamedObject::Pipe))) {}
    bool connected() const { return pipe_ != nullptr; }
    bool send(const Bytes& bytes) {
        return pipe_ && pipe_->write_all(bytes.data(), bytes.size(), 20000);
    }
    std::optional<Reply> receive(int timeout_ms = 60000) {
        std::uint8_t header[kHeaderSize];
        if (!pipe_ || !pipe_->read_exact(header, sizeof header, timeout_ms)) return std::nullopt;
        Reply r{get_u32(header), Bytes(get_u32(header + 4))};
        if (!r.payload.empty() && !pipe_->read_exact(r.payload.data(), r.payload.size(), 60000)) {
            return std::nullopt;
        }
        return r;
    }
    // The replies of one synthesis, up to SynthesisDone or Error.
    std::vector<Reply> synthesis_replies() {
        std::vector<Reply> out;
        while (auto r = receive()) {
            out.push_back(*r);
            if (r->type == 103 || r->type == 104) break;
        }
        return out;
    }
    // True when the server closes the connection within the time.
    bool closed_by_server(int timeout_ms) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        std::uint8_t byte;
        while (Clock::now() < deadline) {
            if (!pipe_->wait_readable(200)) continue;
            if (!pipe_->read_exact(&byte, 1, 200)) return true;
        }
        return false;
    }

private:
    std::unique_ptr<PipeConnection> pipe_;
};

class ServerEndurance : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = fs::temp_directory_path() / ("zelvan_endurance_" + std::to_string(getpid()));
        fs::create_directories(root_);
        test_models::write_voice_model((root_ / "multivoice_base.bin").string(),
                                       test_models::VoiceModelKind::Timed);
        // Russian texts leave their text steps here, block by block.
        setenv("ZELVAN_TTS_DEBUG_LOG", log_path().c_str(), 1);
    }
    static void TearDownTestSuite() {
        unsetenv("ZELVAN_TTS_DEBUG_LOG");
        fs::remove_all(root_);
    }
    static fs::path log_path() { return root_ / "debug.log"; }

    void SetUp() override {
        static int counter = 0;
        setenv("ZELVAN_TTS_NAMESPACE",
               ("endurance." + std::to_string(getpid()) + "." + std::to_string(++counter)).c_str(),
               1);
        setenv("ZELVAN_TTS_MODEL_PATH", root_.c_str(), 1);
        std::string program = SERVER_PROGRAM;
        char* argv[] = {program.data(), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, environ), 0);
        bool ready = false;
        for (int i = 0; i < 6000 && !ready; ++i) {
            ready = Client().connected();
            if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(ready) << "the server never listened";
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        test_support::remove_change_signal();
    }

    bool server_alive() const { return waitpid(pid_, nullptr, WNOHANG) == 0; }

    // VmRSS of the server in kB.
    long resident_kb() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string key;
        while (status >> key) {
            if (key == "VmRSS:") {
                long kb = 0;
                status >> kb;
                return kb;
            }
            status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        }
        return -1;
    }

    // GetInfo and a two-sentence synthesis, answered in full and correctly.
    void expect_full_service() {
        Client c;
        ASSERT_TRUE(c.connected());
        ASSERT_TRUE(c.send(frame(1)));
        const auto info = c.receive();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->type, 101u);
        EXPECT_EQ(info->payload, (Bytes{60, 0, 0, 0, 0x80, 0xBB, 0, 0}));

        ASSERT_TRUE(c.send(synthesize("Да. Нет, конечно.")));
        const auto replies = c.synthesis_replies();
        ASSERT_EQ(replies.size(), 3u);
        EXPECT_EQ(replies[0].type, 102u);
        EXPECT_EQ(replies[1].type, 102u);
        ASSERT_EQ(replies[2].type, 103u);
        const auto words = decode_timestamps(replies[2].payload.data(), replies[2].payload.size());
        EXPECT_EQ(words.size(), 3u);
        const std::uint32_t samples = get_u32(replies[0].payload.data());
        EXPECT_EQ(samples, 5u * test_models::kSamplesPerSymbol) << "Да. framed by two ids";
    }

    static inline fs::path root_;
    pid_t pid_ = 0;
};

// Random bytes, but never a Shutdown header at a 4-byte boundary of the
// stream (it could otherwise end the server on purpose rather than by fault).
Bytes garbage(std::mt19937& random, std::size_t size) {
    Bytes out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>(random());
    for (std::size_t i = 0; i + 4 <= out.size(); ++i) {
        if (get_u32(out.data() + i) == static_cast<std::uint32_t>(MessageType::Shutdown)) {
            out[i] = 0;
        }
    }
    return out;
}

TEST_F(ServerEndurance, SurvivesHostileClientsAndKeepsItsMemory) {
    expect_full_service();  // warm up: the model has run, the buffers exist
    const long baseline_kb = resident_kb();
    ASSERT_GT(baseline_kb, 0);
    std::mt19937 random(1234);

    // A thousand connections of garbage, each closed after its bytes: pure
    // noise, and noise behind plausible headers of every client type.
    for (int i = 0; i < 1000; ++i) {
        Client c;
        ASSERT_TRUE(c.connected()) << i;
        Bytes bytes;
        switch (i % 4) {
            case 0:
                bytes = garbage(random, random() % 2048);
                break;
            case 1: {
                const std::uint32_t type = std::array<std::uint32_t, 4>{1, 2, 3, 7}[random() % 4];
                const Bytes payload = garbage(random, random() % 512);
                bytes = frame(type, payload, static_cast<std::uint32_t>(random() % 1024));
                break;
            }
            case 2: {  // a Synthesize record with random fields and text
                Bytes record = garbage(random, kReqSynthSize + random() % 64);
                put_u32(record.data() + 16, static_cast<std::uint32_t>(random() % 80));
                bytes = frame(2, record);
                break;
            }
            default:  // a truncated header
                bytes = garbage(random, 1 + random() % (kHeaderSize - 1));
                break;
        }
        c.send(bytes);
    }
    ASSERT_TRUE(server_alive());
    expect_full_service();

    // Lengths beyond what the server takes close the connection at once;
    // the largest it takes is read until the client gives up.
    for (const std::uint32_t length : {0xFFFFFFFFu, kMaxPayloadSize + 1}) {
        Client c;
        ASSERT_TRUE(c.send(frame(1, {}, length)));
        EXPECT_TRUE(c.closed_by_server(20000)) << length;
    }
    {
        Client c;
        ASSERT_TRUE(c.send(frame(2, Bytes(1 << 20, 0x41), kMaxPayloadSize)));
    }

    // Impossible speed and pitch act as the nearest bound; NaN is refused
    // with an error. None of them crashes the server.
    {
        Client c;
        const float nan = std::numeric_limits<float>::quiet_NaN();
        for (const auto& [speed, pitch] :
             {std::pair{0.0f, 1.0f}, std::pair{-1.0f, 1.0f}, std::pair{1e-6f, 1.0f},
              std::pair{1.0f, 0.0f}, std::pair{1.0f, -2.0f}, std::pair{1e30f, 1e30f}}) {
            ASSERT_TRUE(c.send(synthesize("Да.", speed, pitch)));
            const auto replies = c.synthesis_replies();
            ASSERT_FALSE(replies.empty()) << speed << " " << pitch;
            EXPECT_EQ(replies.back().type, 103u) << speed << " " << pitch;
        }
        for (const auto& [speed, pitch] : {std::pair{nan, 1.0f}, std::pair{1.0f, nan}}) {
            ASSERT_TRUE(c.send(synthesize("Да.", speed, pitch)));
            const auto replies = c.synthesis_replies();
            ASSERT_EQ(replies.size(), 1u) << speed << " " << pitch;
            const auto error = decode_error(replies[0].payload.data(), replies[0].payload.size());
            ASSERT_TRUE(error);
            EXPECT_EQ(error->code, 3u);
            EXPECT_EQ(error->message, "Speed and pitch must be numbers");
        }
        // A volume that is no number gives silence, not noise.
        ASSERT_TRUE(c.send(synthesize("Да.", 1.0f, 1.0f, nan)));
        const auto replies = c.synthesis_replies();
        ASSERT_EQ(replies.size(), 2u);
        EXPECT_EQ(replies[0].payload, [] {
            Bytes silence(4 + 2 * 5 * test_models::kSamplesPerSymbol, 0);
            put_u32(silence.data(), 5 * test_models::kSamplesPerSymbol);
            return silence;
        }());
    }

    // Clients that leave in the middle of a stream of audio.
    std::string long_text;
    for (int i = 0; i < 100; ++i) long_text += "Это предложение номер " + std::to_string(i) + ". ";
    for (int i = 0; i < 20; ++i) {
        Client c;
        ASSERT_TRUE(c.send(synthesize(long_text, i % 2 ? 1.0f : 1.5f)));
        for (int k = 0; k < i % 3; ++k) ASSERT_TRUE(c.receive());
    }

    // A storm of Cancel messages, during a synthesis and around it; each is
    // read as a cancel or as a message without an answer.
    {
        Client c;
        Bytes storm = synthesize(long_text);
        for (int i = 0; i < 2000; ++i) {
            const Bytes cancel = frame(3, i % 10 == 9 ? Bytes{1, 2, 3} : Bytes{});
            storm.insert(storm.end(), cancel.begin(), cancel.end());
        }
        const Bytes info = frame(1);
        storm.insert(storm.end(), info.begin(), info.end());
        ASSERT_TRUE(c.send(storm));
        const auto replies = c.synthesis_replies();
        ASSERT_FALSE(replies.empty());
        EXPECT_EQ(replies.back().type, 103u);
        EXPECT_LT(replies.size(), 100u) << "the first cancel ended the stream";
        const auto next = c.receive();
        ASSERT_TRUE(next);
        EXPECT_EQ(next->type, 101u) << "the rest of the storm was read and ignored";
    }

    ASSERT_TRUE(server_alive());
    expect_full_service();
    const long final_kb = resident_kb();
    std::cout << "server resident memory: " << baseline_kb << " kB before, " << final_kb
              << " kB after\n";
    if (kMeasureMemory) {
        EXPECT_LT(final_kb - baseline_kb, 8 * 1024);
    }
}

TEST_F(ServerEndurance, DropsAClientThatStallsHalfwayThroughAMessage) {
    Client stalled;
    Bytes half = frame(1, Bytes(10, 7), 100);  // 90 payload bytes never come
    ASSERT_TRUE(stalled.send(half));

    // One client at a time: the next waits until the server gives up on the
    // stalled one after its transfer time-out.
    {
        Client next;
        ASSERT_TRUE(next.connected());
        ASSERT_TRUE(next.send(frame(1)));
        const auto started = Clock::now();
        const auto info = next.receive(kTransferTimeoutMs + 60000);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->type, 101u);
        EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(kTransferTimeoutMs - 5000));
        EXPECT_TRUE(stalled.closed_by_server(1000));
    }  // leaves, so that the server turns to the next client at once

    // A header cut in half stalls the same way, and the same way ends.
    Client cut;
    ASSERT_TRUE(cut.send(Bytes{1, 0, 0}));
    EXPECT_TRUE(cut.closed_by_server(kTransferTimeoutMs + 60000));
    expect_full_service();
}

TEST_F(ServerEndurance, ALongTextSoundsAfterItsFirstBlock) {
    // 300 KB of Russian: the first audio must not wait for the whole text's
    // text steps, and a Cancel then ends the synthesis at once.
    std::string text;
    while (text.size() < 300 * 1024) text += "Старинный замок стоит на холме уже 250 лет. ";
    {
        Client c;
        ASSERT_TRUE(c.send(synthesize(text, 1.0f, 1.0f, 1.0f, 20)));
        const auto first = c.receive(30000);  // the client's own wait
        ASSERT_TRUE(first);
        EXPECT_EQ(first->type, 102u);
        const auto logged = fs::file_size(log_path());
        EXPECT_GT(logged, 0u);
        EXPECT_LT(logged, text.size() / 10) << "the text steps ran ahead of the first audio";

        ASSERT_TRUE(c.send(frame(3)));
        const auto replies = c.synthesis_replies();
        ASSERT_FALSE(replies.empty());
        EXPECT_EQ(replies.back().type, 103u);
        EXPECT_LT(fs::file_size(log_path()), text.size());
    }  // leaves, so that the server turns to the next client at once
    expect_full_service();
}

}  // namespace
}  // namespace zelvan_tts
