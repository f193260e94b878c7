#include "http/http_service.h"

#include "http/speech_stream.h"
#include "http/voice_catalog.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstring>

namespace zelvan_tts {

namespace {

using Clock = std::chrono::steady_clock;

struct Route {
    const char* path;
    const char* methods;  // the Allow header
};

constexpr Route kRoutes[] = {
    {"/v1/audio/speech", "POST"}, {"/api/tts", "GET, HEAD"},  {"/v1/voices", "GET, HEAD"},
    {"/api/voices", "GET, HEAD"}, {"/healthz", "GET, HEAD"}, {"/metrics", "GET, HEAD"},
};

const Route* find_route(const std::string& path) {
    for (const Route& r : kRoutes)
        if (path == r.path) return &r;
    return nullptr;
}

void send_error(httplib::Response& res, const RequestError& error) {
    res.status = error.status;
    res.set_content(error_json(error), "application/json");
}

// Compares without stopping at the first difference, so that the time taken
// tells nothing about the token.
bool same_secret(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

httplib::Server::HandlerResponse fill_error(const httplib::Request& req, httplib::Response& res) {
    if (res.status == 404)
        send_error(res, {404, "not_found", "", "No endpoint " + req.path + "."});
    else if (res.status == 413)
        send_error(res, {413, "body_too_large", "", "The request body is too large."});
    else
        send_error(res, {res.status, "bad_request", "", "The request cannot be read."});
    return httplib::Server::HandlerResponse::Handled;
}

std::string voices_json() {
    nlohmann::json list = nlohmann::json::array();
    for (const VoiceEntry& v : voice_catalog())
        list.push_back({{"name", v.key},
                        {"display_name", v.display_name},
                        {"index", v.index},
                        {"language", v.language},
                        {"language_code", v.language_code},
                        {"gender", v.female ? "female" : "male"}});
    return nlohmann::json{{"voices", list}}.dump();
}

}  // namespace

HttpService::HttpService(EnginePool& pool, Metrics& metrics, const ServerOptions& options)
    : pool_(pool), metrics_(metrics), options_(options),
      server_(std::make_unique<httplib::Server>()) {
    httplib::Server& server = *server_;
    // A connection holds one thread for as long as it lives, speaking or
    // waiting in line, so the threads outnumber engines and line together.
    const std::size_t threads = std::max<std::size_t>(
        32, static_cast<std::size_t>(options.engines + options.queue) + 16);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_payload_max_length(options.max_body_bytes);
    server.set_keep_alive_max_count(1000);
    server.set_tcp_nodelay(true);

    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const Route* route = find_route(req.path);
        if (route != nullptr && std::strstr(route->methods, req.method.c_str()) == nullptr) {
            res.set_header("Allow", route->methods);
            send_error(res, {405, "method_not_allowed", "",
                             req.method + " is not allowed here; use " + route->methods + "."});
            return httplib::Server::HandlerResponse::Handled;
        }
        // Load balancers probe health without credentials.
        if (!options_.token.empty() && req.path != "/healthz" &&
            !same_secret(req.get_header_value("Authorization"), "Bearer " + options_.token)) {
            res.set_header("WWW-Authenticate", "Bearer");
            send_error(res, {401, "unauthorized", "",
                             "This server needs \"Authorization: Bearer <token>\"."});
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    // httplib's own refusals (no such path, body too large, bad request
    // line) get a JSON body like ours.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request& req, httplib::Response& res) {
            if (!res.body.empty() || res.is_chunked_content_provider_)
                return httplib::Server::HandlerResponse::Unhandled;
            return fill_error(req, res);
        }));

    server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        metrics_.count_request(find_route(req.path) != nullptr ? req.path : "other", res.status);
    });

    auto speak = [this](const ParsedSpeech& parsed, httplib::Response& res,
                        Clock::time_point arrived) {
        if (parsed.error.status != 0) return send_error(res, parsed.error);
        std::optional<EnginePool::Lease> lease = pool_.acquire();
        if (!lease) {
            res.set_header("Retry-After", "1");
            return send_error(res, {429, "busy", "",
                                    "Every engine is speaking and the line is full; retry."});
        }
        auto held = std::make_shared<EnginePool::Lease>(std::move(*lease));
        const SpeechJob job = parsed.job;
        res.set_header("X-Sample-Rate", std::to_string(job.sample_rate));
        res.set_chunked_content_provider(
            audio_format_mime_type(job.format),
            [this, held, job, arrived](std::size_t, httplib::DataSink& sink) {
                ByteSink bytes;
                bytes.write = [&sink](const std::uint8_t* data, std::size_t size) {
                    return sink.write(reinterpret_cast<const char*>(data), size);
                };
                const std::function<bool()> still_there = [&sink] { return sink.is_writable(); };
                try {
                    const StreamOutcome out =
                        stream_speech(held->engine(), job, bytes, still_there, arrived);
                    metrics_.count_synthesis(out.audio_seconds, out.busy_seconds,
                                             out.first_byte_seconds);
                    if (out.client_gone) metrics_.count_cancelled();
                    if (out.status != ZELVAN_TTS_OK || out.client_gone) return false;
                } catch (const std::exception&) {
                    return false;
                }
                // Cut short, the body ends without its last chunk: the
                // client sees a failure, never a complete-looking file.
                sink.done();
                return true;
            });
    };

    server.Post("/v1/audio/speech", [this, speak](const httplib::Request& req,
                                                  httplib::Response& res) {
        speak(parse_openai_speech(req.body, options_.max_text_chars), res, Clock::now());
    });
    server.Get("/api/tts", [this, speak](const httplib::Request& req, httplib::Response& res) {
        speak(parse_query_speech(req.params, options_.max_text_chars), res, Clock::now());
    });
    const std::string voices = voices_json();
    for (const char* path : {"/v1/voices", "/api/voices"})
        server.Get(path, [voices](const httplib::Request&, httplib::Response& res) {
            res.set_content(voices, "application/json");
        });
    server.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
        const EnginePool::Load load = pool_.load();
        res.set_content(nlohmann::json{{"status", "ok"},
                                       {"engines", load.engines},
                                       {"busy", load.busy},
                                       {"waiting", load.waiting}}
                            .dump(),
                        "application/json");
    });
    server.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(metrics_.render(pool_.load()), "text/plain; version=0.0.4");
    });
}

HttpService::~HttpService() = default;

int HttpService::bind(int port) {
    if (port == 0) return server_->bind_to_any_port(options_.host);
    return server_->bind_to_port(options_.host, port) ? port : -1;
}

bool HttpService::run() { return server_->listen_after_bind(); }

void HttpService::stop() { server_->stop(); }

}  // namespace zelvan_tts
