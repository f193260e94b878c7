// The server process from start to exit: single instance, model loading,
// readiness, serving one client at a time, and shutdown by request or after
// a stretch without activity.
#pragma once

#include <cstdint>

namespace zelvan_tts {

class Engine;
class PipeConnection;
struct ServerState;

struct ServerOptions {
    bool debug = false;
    std::uint32_t inactivity_limit_ms = 20 * 60 * 1000;
    int wait_step_ms = 30000;  // how often a wait for a client looks at the limit
};

// Runs the server; returns the process exit code: 0 after a normal shutdown
// or when another instance runs, 1 when the voice model cannot be loaded.
int run_server(const ServerOptions& options);

// Reads and answers messages on one connection until the client leaves, goes
// silent for 30 s, sends something unreadable, or asks the server to stop.
void serve_connection(PipeConnection& pipe, Engine& engine, ServerState& state);

}  // namespace zelvan_tts
