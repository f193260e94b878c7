// The server's message handling on arbitrary byte streams, through the code
// the socket uses: the input is what a client wrote before it hung up, and
// the serving loop reads, answers (the replies find the client gone) and
// returns at the end of the stream. The voice model is the small test model.
#include "engine/engine.h"
#include "fuzz/fuzz_support.h"
#include "platform/local_pipe.h"
#include "server/server_loop.h"
#include "server/server_state.h"
#include "tools/test_models.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

using namespace zelvan_tts;

namespace {

// The whole input must fit in the socket's buffer, since it is written
// before the server starts reading.
constexpr std::size_t kMaxInput = 64 * 1024;

std::unique_ptr<Engine> engine;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string dir = fuzz::scratch_dir();
    // The text stages look for their files below this root, find none and
    // leave the text alone; the settings file is the fuzzer's own.
    setenv("ZELVAN_TTS_MODEL_PATH", dir.c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    test_models::write_voice_model(dir + "/multivoice_base.bin",
                                   test_models::VoiceModelKind::Timed);
    engine = std::make_unique<Engine>(EngineOptions{});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return 0;
    std::unique_ptr<PipeConnection> server_end;
    std::unique_ptr<PipeConnection> client_end;
    if (!make_connected_pipes(server_end, client_end)) std::abort();
    if (size != 0 && !client_end->write_all(data, size, 1000)) std::abort();
    client_end.reset();

    ServerState state;
    serve_connection(*server_end, *engine, state);
    return 0;
}
