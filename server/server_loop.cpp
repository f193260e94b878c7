#include "server/server_loop.h"

#include "engine/model_constants.h"
#include "core/search_paths.h"
#include "engine/engine.h"
#include "platform/console_window.h"
#include "platform/local_pipe.h"
#include "platform/object_names.h"
#include "platform/server_ready.h"
#include "platform/utf8_path.h"
#include "protocol/protocol.h"
#include "server/request_handler.h"
#include "server/server_state.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <thread>

namespace zelvan_tts {

namespace {

constexpr int kPipeRetryMs = 1000;

// When taking a client keeps failing (no file descriptors left, say), the
// listener still reports a client waiting, so an immediate retry would spin
// the only thread; the pause doubles from the first to the last value.
constexpr int kAcceptPauseFirstMs = 10;
constexpr int kAcceptPauseLastMs = 1000;

// The model path as the console shows it: from "models" on, when it has one.
std::string shortened(const std::string& path) {
    const auto at = path.find("models");
    return at == std::string::npos ? path : path.substr(at);
}

bool inactive(const ServerState& state, std::uint32_t limit_ms) {
    return tick_count_ms() - state.last_activity_ms.load() > limit_ms;
}

}  // namespace

void serve_connection(PipeConnection& pipe, Engine& engine, ServerState& state) {
    std::vector<std::uint8_t> payload;  // reused for every message of the connection
    while (state.running) {
        std::uint8_t header_bytes[kHeaderSize];
        if (!read_exact(pipe, header_bytes, sizeof header_bytes)) return;
        const MessageHeader header = decode_header(header_bytes);
        if (header.length > kMaxPayloadSize) {
            debug_line(state, std::cout,
                       "Message too large (" + std::to_string(header.length) +
                           " bytes), closing connection.");
            return;
        }
        payload.resize(header.length);
        if (header.length != 0 && !read_exact(pipe, payload.data(), payload.size())) return;

        switch (static_cast<MessageType>(header.type)) {
            case MessageType::GetInfo: {
                const auto info = encode_info({static_cast<std::uint32_t>(kSpeakerCount),
                                               static_cast<std::uint32_t>(kSampleRate)});
                send_message(pipe, MessageType::Info, info.data(), info.size());
                break;
            }
            case MessageType::GetReport: {
                std::string report;
                for (const std::string& line : engine.loaded_report()) report += line + "\n";
                send_message(pipe, MessageType::Report, report.data(), report.size());
                break;
            }
            case MessageType::Synthesize:
                handle_synth(pipe, payload, engine, state);
                break;
            case MessageType::Shutdown:
                state.running = false;
                break;
            default:
                break;  // read in full and ignored
        }
    }
}

int run_server(const ServerOptions& options) {
    ServerState state;
    state.debug = options.debug;
    touch(state);

    bool held_elsewhere = false;
    const auto instance_lock =
        InstanceLock::acquire(object_name(NamedObject::ServerMutex), held_elsewhere);
    if (!instance_lock && held_elsewhere) return 0;  // another server is running
    if (!options.debug) hide_console_window();

    std::unique_ptr<Engine> engine;
    try {
        const std::string path = path_to_utf8(find_voice_model_path());
        debug_line(state, std::cout, "Loading model from: " + shortened(path));
        EngineOptions engine_options;
        // A stage model that is missing or broken is told on the console.
        engine_options.problems = [&state](const std::string& line) {
            debug_line(state, std::cerr, line);
        };
        engine = std::make_unique<Engine>(std::move(engine_options));
    } catch (const std::exception& e) {
        debug_line(state, std::cerr, std::string("Failed to load model: ") + e.what());
        return 1;
    }
    debug_line(state, std::cout,
               "Model loaded. Speakers: " + std::to_string(kSpeakerCount) +
                   ", Sample rate: " + std::to_string(kSampleRate));
    debug_line(state, std::cout, "Starting pipe server...");

    // Clients may connect from now on: the model is loaded. (Where readiness
    // is the listening pipe itself, the pipe is only opened now for that
    // reason.) Without the signal the server still serves.
    const auto ready = ServerReadySignal::announce(object_name(NamedObject::ServerReady));
    const std::string pipe_name = object_name(NamedObject::Pipe);
    int pipe_error = 0;
    std::unique_ptr<PipeListener> listener = PipeListener::listen(pipe_name, pipe_error);
    touch(state);

    bool first_attempt = true;
    int accept_pause_ms = 0;  // 0 while accepting works
    while (state.running) {
        if (inactive(state, options.inactivity_limit_ms)) {
            debug_line(state, std::cout, "Inactivity timeout reached, shutting down.");
            break;
        }
        if (!listener && !first_attempt) listener = PipeListener::listen(pipe_name, pipe_error);
        first_attempt = false;
        if (!listener || !listener->prepare(pipe_error)) {
            debug_line(state, std::cerr, "Failed to create pipe: " + std::to_string(pipe_error));
            std::this_thread::sleep_for(std::chrono::milliseconds(kPipeRetryMs));
            continue;
        }
        debug_line(state, std::cout, "Waiting for client...");
        std::unique_ptr<PipeConnection> client;
        while (state.running && !client && listener->prepared()) {
            int accept_error = 0;
            client = listener->accept(options.wait_step_ms, accept_error);
            if (accept_error != 0) {
                // Said once per run of failures; the clients already queued
                // are served as soon as taking them works again.
                if (accept_pause_ms == 0) {
                    debug_line(state, std::cerr,
                               "Failed to accept client: " + std::to_string(accept_error));
                }
                accept_pause_ms = accept_pause_ms == 0
                                      ? kAcceptPauseFirstMs
                                      : std::min(2 * accept_pause_ms, kAcceptPauseLastMs);
                std::this_thread::sleep_for(std::chrono::milliseconds(accept_pause_ms));
            }
            if (!client && inactive(state, options.inactivity_limit_ms)) state.running = false;
        }
        if (!client) continue;  // stopped, or the endpoint failed and is made anew

        accept_pause_ms = 0;
        touch(state);
        debug_line(state, std::cout, "Client connected.");
        serve_connection(*client, *engine, state);
        client.reset();
        touch(state);
        debug_line(state, std::cout, "Client disconnected.");
    }
    debug_line(state, std::cout, "Server shutting down.");
    return 0;
}

}  // namespace zelvan_tts
