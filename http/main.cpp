// zelvan_tts_http: speech over HTTP (the OpenAI-shaped endpoint and a simple
// GET form) and, with --wyoming, over Home Assistant's Wyoming protocol.
// It keeps nothing between requests, so replicas behind any load balancer
// serve alike.
#include "http/engine_pool.h"
#include "http/http_service.h"
#include "http/metrics.h"
#include "http/server_options.h"
#include "http/wyoming_service.h"

#include <malloc.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

zelvan_tts::HttpService* g_http = nullptr;

void on_signal(int) {
    // httplib's stop() only flags and shuts the listening socket down.
    if (g_http != nullptr) g_http->stop();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zelvan_tts;
    const ParsedOptions parsed = parse_server_options(std::vector<std::string>(argv + 1, argv + argc),
                                                      std::getenv("ZELVAN_TTS_HTTP_TOKEN"));
    if (parsed.help) {
        std::fputs(server_usage(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "zelvan_tts_http: %s\n%s", parsed.error.c_str(), server_usage());
        return 2;
    }
    const ServerOptions& options = parsed.options;
    // Every connection has a thread of its own, and glibc gives busy
    // threads allocation arenas of their own that it rarely hands back: at
    // one arena per engine the server stays near its size after warm-up
    // instead of growing by a quarter (bench/RESULTS.md).
    mallopt(M_ARENA_MAX, std::max(2, options.engines));
    std::unique_ptr<EnginePool> pool;
    try {
        pool = std::make_unique<EnginePool>(options.engines, options.models,
                                            static_cast<std::size_t>(options.queue),
                                            options.threads);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zelvan_tts_http: %s\n", e.what());
        return 1;
    }
    Metrics metrics;
    HttpService http(*pool, metrics, options);
    const int port = http.bind(options.port);
    if (port < 0) {
        std::fprintf(stderr, "zelvan_tts_http: cannot listen on %s:%d\n", options.host.c_str(),
                     options.port);
        return 1;
    }
    std::unique_ptr<WyomingService> wyoming;
    if (options.wyoming_port > 0) {
        wyoming = std::make_unique<WyomingService>(*pool, metrics, options.max_text_chars);
        std::string error;
        if (wyoming->listen(options.host, options.wyoming_port, &error) < 0) {
            std::fprintf(stderr, "zelvan_tts_http: %s\n", error.c_str());
            return 1;
        }
        wyoming->start();
        if (!is_loopback_host(options.host))
            std::fprintf(stderr,
                         "zelvan_tts_http: the Wyoming port has no authentication (the protocol "
                         "has none): keep it on a trusted network\n");
    }
    std::printf("zelvan_tts_http: %d engine%s, http://%s:%d/", options.engines,
                options.engines == 1 ? "" : "s", options.host.c_str(), port);
    if (wyoming) std::printf(", wyoming tcp://%s:%d", options.host.c_str(), options.wyoming_port);
    std::printf("\n");
    std::fflush(stdout);
    g_http = &http;
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    const bool served = http.run();
    g_http = nullptr;
    if (wyoming) wyoming->stop();
    return served ? 0 : 1;
}
