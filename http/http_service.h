// The HTTP side of zelvan_tts_http: the OpenAI-shaped speech endpoint, the
// simple GET form, the voice list, health and metrics, behind an optional
// bearer token, with limits on body and text and 429 when the line of
// waiting requests is full.
#pragma once

#include "http/engine_pool.h"
#include "http/metrics.h"
#include "http/server_options.h"

#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace zelvan_tts {

class HttpService {
public:
    HttpService(EnginePool& pool, Metrics& metrics, const ServerOptions& options);
    ~HttpService();
    HttpService(const HttpService&) = delete;
    HttpService& operator=(const HttpService&) = delete;

    // Binds options.host and `port` (0: any free port); the port bound, or
    // -1 when the address cannot be bound.
    int bind(int port);
    // Serves until stop(); returns false when serving failed.
    bool run();
    void stop();

private:
    EnginePool& pool_;
    Metrics& metrics_;
    ServerOptions options_;
    std::unique_ptr<httplib::Server> server_;
};

}  // namespace zelvan_tts
