#include "server/server_state.h"

#include "platform/local_pipe.h"

#include <ostream>

namespace zelvan_tts {

void debug_line(const ServerState& state, std::ostream& stream, const std::string& line) {
    if (state.debug) stream << line << std::endl;
}

void touch(ServerState& state) { state.last_activity_ms = tick_count_ms(); }

}  // namespace zelvan_tts
