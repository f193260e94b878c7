// What the synthesis server adds: a GetInfo round trip, and one second of
// audio synthesised through the server against the same synthesis in
// process. The difference is the server's share: PCM conversion, framing,
// the socket and the client's reads.
#include "engine/pipeline.h"
#include "engine/voice_model.h"
#include "platform/local_pipe.h"
#include "platform/object_names.h"
#include "protocol/protocol.h"
#include "tools/test_models.h"

#include <ATen/Parallel.h>
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <torch/script.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

namespace {

using namespace zelvan_tts;
namespace fs = std::filesystem;

// 98 symbols and the two frame ids: one second of the test voice's audio.
const std::string kOneSecond = [] {
    std::string s;
    for (int i = 0; i < 98; ++i) s += (i % 7 == 3) ? " " : "а";
    return s;
}();

struct ServerFixture {
    fs::path dir;
    pid_t pid = 0;
    torch::jit::Module model;

    ServerFixture() {
        dir = fs::temp_directory_path() / ("zelvan_server_bench_" + std::to_string(getpid()));
        fs::create_directories(dir);
        const std::string model_path = (dir / "multivoice_base.bin").string();
        test_models::write_voice_model(model_path, test_models::VoiceModelKind::Timed);
        setenv("ZELVAN_TTS_MODEL_PATH", dir.c_str(), 1);
        setenv("ZELVAN_TTS_NAMESPACE", ("bench." + std::to_string(getpid())).c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        char program[] = SERVER_PROGRAM;
        char* argv[] = {program, nullptr};
        posix_spawn(&pid, program, nullptr, nullptr, argv, environ);
        for (int i = 0; i < 6000 && !connect_pipe(object_name(NamedObject::Pipe)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        configure_torch_runtime();
        model = load_voice_model(model_path);
    }
    ~ServerFixture() {
        if (auto pipe = connect_pipe(object_name(NamedObject::Pipe))) {
            send_message(*pipe, MessageType::Shutdown, nullptr, 0);
        }
        waitpid(pid, nullptr, 0);
        fs::remove_all(dir);
    }
};

ServerFixture& fixture() {
    static ServerFixture f;
    return f;
}

void BM_GetInfoRoundTrip(benchmark::State& state) {
    fixture();
    auto pipe = connect_pipe(object_name(NamedObject::Pipe));
    MessageHeader header{};
    std::vector<std::uint8_t> payload;
    for (auto _ : state) {
        send_message(*pipe, MessageType::GetInfo, nullptr, 0);
        if (!read_message(*pipe, header, payload)) state.SkipWithError("no reply");
    }
}
BENCHMARK(BM_GetInfoRoundTrip)->UseRealTime();

void BM_OneSecondThroughServer(benchmark::State& state) {
    fixture();
    auto pipe = connect_pipe(object_name(NamedObject::Pipe));
    const auto request = encode_req_synth(ReqSynth{20, 1, 1, 1, 0}, kOneSecond);
    MessageHeader header{};
    std::vector<std::uint8_t> payload;
    for (auto _ : state) {
        send_message(*pipe, MessageType::Synthesize, request.data(), request.size());
        do {
            if (!read_message(*pipe, header, payload)) state.SkipWithError("no reply");
        } while (header.type != static_cast<std::uint32_t>(MessageType::SynthesisDone));
    }
}
BENCHMARK(BM_OneSecondThroughServer)->UseRealTime();

void BM_OneSecondInProcess(benchmark::State& state) {
    ServerFixture& f = fixture();
    at::set_num_threads(4);
    std::vector<WordTimestamp> words;
    for (auto _ : state) {
        words.clear();
        synthesize_with_word_timestamps(
            f.model, {kOneSecond, 20}, [](const std::vector<float>&) { return true; }, {}, &words);
    }
}
BENCHMARK(BM_OneSecondInProcess)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
