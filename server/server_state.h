// What the serving thread shares with the request handler.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace zelvan_tts {

struct ServerState {
    std::atomic<bool> running{true};
    std::atomic<std::uint32_t> last_activity_ms{0};  // tick_count_ms of the last activity
    bool debug = false;
};

// Prints one console line (with --debug only) and flushes it at once.
void debug_line(const ServerState& state, std::ostream& stream, const std::string& line);

// Marks now as the last activity, restarting the inactivity limit.
void touch(ServerState& state);

}  // namespace zelvan_tts
