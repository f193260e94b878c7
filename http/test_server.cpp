#include "http/test_server.h"

#include "tools/test_models.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace zelvan_tts::testing {

namespace {

struct Owner {
    TestServer server;
    Owner();
    ~Owner() {
        if (server.wyoming) server.wyoming->stop();
        if (server.http) server.http->stop();
        if (server.serving.joinable()) server.serving.join();
        std::filesystem::remove_all(server.root);
    }
};

}  // namespace

Owner::Owner() {
    TestServer& s = server;
    s.root = (std::filesystem::temp_directory_path() /
              ("zelvan_http_test_" + std::to_string(getpid())))
                 .string();
    std::filesystem::create_directories(s.root);
    setenv("XDG_CONFIG_HOME", (s.root + "/config").c_str(), 1);
    test_models::write_voice_model(s.root + "/multivoice_base.bin",
                                   test_models::VoiceModelKind::Timed);
    s.options.engines = 2;
    s.options.queue = 1;
    s.options.token = kToken;
    s.options.max_text_chars = kMaxTextChars;
    s.options.max_body_bytes = 1024 * 1024;
    s.pool = std::make_unique<EnginePool>(s.options.engines, s.root, 1);
    s.http = std::make_unique<HttpService>(*s.pool, s.metrics, s.options);
    s.http_port = s.http->bind(0);
    s.serving = std::thread([&s] { s.http->run(); });
    s.wyoming = std::make_unique<WyomingService>(*s.pool, s.metrics, kMaxTextChars);
    std::string error;
    s.wyoming_port = s.wyoming->listen("127.0.0.1", 0, &error);
    s.wyoming->start();
}

TestServer& test_server() {
    static Owner owner;
    return owner.server;
}

}  // namespace zelvan_tts::testing
