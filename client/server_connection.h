// Reaching the synthesis server from the zelvan_tts command.
#pragma once

#include <memory>
#include <string>

namespace zelvan_tts {

class PipeConnection;

// How long a client waits for a server it started to become ready.
inline constexpr int kServerStartWaitMs = 60000;

// A connection to the running server. When none answers and `start` is
// set, starts zelvan_tts_server from this program's directory in the
// background and waits for it; null (with the reason in `error`) on failure.
std::unique_ptr<PipeConnection> connect_to_server(bool start, std::string& error);

}  // namespace zelvan_tts
