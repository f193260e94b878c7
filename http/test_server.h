// One server for the tests of this folder: two engines on the small test
// voice model, a line of one, a token, small limits, HTTP and Wyoming on
// free ports of the loopback.
#pragma once

#include "http/engine_pool.h"
#include "http/http_service.h"
#include "http/metrics.h"
#include "http/wyoming_service.h"

#include <memory>
#include <string>
#include <thread>

namespace zelvan_tts::testing {

constexpr const char* kToken = "s3cret";
constexpr std::size_t kMaxTextChars = 100000;

struct TestServer {
    std::string root;
    ServerOptions options;
    std::unique_ptr<EnginePool> pool;
    Metrics metrics;
    std::unique_ptr<HttpService> http;
    std::unique_ptr<WyomingService> wyoming;
    std::thread serving;
    int http_port = 0;
    int wyoming_port = 0;
};

// Started on first use, stopped when the test program ends.
TestServer& test_server();

}  // namespace zelvan_tts::testing
