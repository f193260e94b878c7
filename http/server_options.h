// The command line of zelvan_tts_http.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zelvan_tts {

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 5500;
    int wyoming_port = 0;  // 0: no Wyoming listener
    int engines = 0;       // 0: one per core
    int threads = 0;       // voice-model threads per engine; 0: the cores shared out
    // Requests that may wait for an engine while all speak; one more is 429.
    int queue = 16;
    std::string token;   // bearer token; "" when none is required
    std::string models;  // models root; "" for the usual search
    std::size_t max_text_chars = 10000;
    std::size_t max_body_bytes = 256 * 1024;
};

struct ParsedOptions {
    ServerOptions options;
    bool help = false;
    std::string error;  // "" when the command line is sound
};

// `args` without the program name. The token may also come from the
// environment (ZELVAN_TTS_HTTP_TOKEN), which keeps it out of `ps`.
ParsedOptions parse_server_options(const std::vector<std::string>& args, const char* env_token);

// 127.0.0.0/8, ::1 and "localhost".
bool is_loopback_host(const std::string& host);

const char* server_usage();

}  // namespace zelvan_tts
