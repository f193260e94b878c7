#include "client/server_connection.h"

#include "platform/local_pipe.h"
#include "platform/module_path.h"
#include "platform/object_names.h"
#include "platform/process_launch.h"

#include <chrono>
#include <thread>

namespace zelvan_tts {

std::unique_ptr<PipeConnection> connect_to_server(bool start, std::string& error) {
    const std::string name = object_name(NamedObject::Pipe);
    if (auto pipe = connect_pipe(name)) return pipe;
    if (!start) {
        error = "no server is running";
        return nullptr;
    }
    const auto program = running_module_file().parent_path() / "zelvan_tts_server";
    if (!launch_detached(program, {})) {
        error = "could not start " + program.string();
        return nullptr;
    }
    // Ready means listening, which the server does once its model is loaded.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kServerStartWaitMs);
    while (Clock::now() < deadline) {
        if (auto pipe = connect_pipe(name)) return pipe;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error = "the server did not become ready within 60 s (is its voice model in place?)";
    return nullptr;
}

}  // namespace zelvan_tts
