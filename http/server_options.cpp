#include "http/server_options.h"

#include <cstdlib>
#include <thread>

namespace zelvan_tts {

namespace {

bool parse_int(const std::string& text, int low, int high, int* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

bool is_loopback_host(const std::string& host) {
    return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0;
}

const char* server_usage() {
    return "usage: zelvan_tts_http [--host 127.0.0.1] [--port 5500] [--wyoming PORT]\n"
           "                       [--engines N] [--threads N] [--queue N] [--token T]\n"
           "                       [--models DIR]\n"
           "                       [--max-text CHARS] [--max-body BYTES]\n"
           "  --host      address to listen on (a bearer token is required beyond loopback)\n"
           "  --port      HTTP port (default 5500)\n"
           "  --wyoming   also serve the Wyoming protocol on this TCP port\n"
           "  --engines   engines speaking at once (default: one per core)\n"
           "  --threads   voice-model threads of each engine (default: the cores shared out)\n"
           "  --queue     requests that may wait for an engine; beyond them 429 (default 16)\n"
           "  --token     bearer token every request must carry (or ZELVAN_TTS_HTTP_TOKEN)\n"
           "  --models    the models folder (default: the usual search)\n"
           "  --max-text  characters of text per request (default 10000)\n"
           "  --max-body  bytes of request body (default 262144)\n";
}

ParsedOptions parse_server_options(const std::vector<std::string>& args, const char* env_token) {
    ParsedOptions parsed;
    ServerOptions& o = parsed.options;
    if (env_token != nullptr) o.token = env_token;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            parsed.help = true;
            return parsed;
        }
        if (i + 1 >= args.size()) {
            parsed.error = a.rfind("--", 0) == 0 ? a + " needs a value" : "unknown argument: " + a;
            return parsed;
        }
        const std::string& v = args[++i];
        int n = 0;
        bool ok = true;
        if (a == "--host") {
            o.host = v;
            ok = !v.empty();
        } else if (a == "--port") {
            ok = parse_int(v, 0, 65535, &o.port);
        } else if (a == "--wyoming") {
            ok = parse_int(v, 1, 65535, &o.wyoming_port);
        } else if (a == "--engines") {
            ok = parse_int(v, 1, 256, &o.engines);
        } else if (a == "--threads") {
            ok = parse_int(v, 1, 256, &o.threads);
        } else if (a == "--queue") {
            ok = parse_int(v, 0, 100000, &o.queue);
        } else if (a == "--token") {
            o.token = v;
        } else if (a == "--models") {
            o.models = v;
        } else if (a == "--max-text") {
            ok = parse_int(v, 1, 10000000, &n);
            o.max_text_chars = static_cast<std::size_t>(n);
        } else if (a == "--max-body") {
            ok = parse_int(v, 1024, 1 << 30, &n);
            o.max_body_bytes = static_cast<std::size_t>(n);
        } else {
            parsed.error = "unknown argument: " + a;
            return parsed;
        }
        if (!ok) {
            parsed.error = "bad value for " + a + ": " + v;
            return parsed;
        }
    }
    if (o.engines == 0) o.engines = std::max(1u, std::thread::hardware_concurrency());
    if (o.token.empty() && !is_loopback_host(o.host))
        parsed.error = "listening on " + o.host +
                       " needs a bearer token: --token T (or ZELVAN_TTS_HTTP_TOKEN)";
    return parsed;
}

}  // namespace zelvan_tts
