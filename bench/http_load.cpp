// Load on zelvan_tts_http from N clients over the loopback, each on one
// kept-alive connection sending one-sentence requests back to back: the
// time to the first audio byte of each, the answers by status, requests
// per second. One line of JSON on standard output (bench/http_load.sh
// writes the report from it).
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    int port = 5500, clients = 1, requests = 100;
    std::string format = "pcm", token, text = "Сегодня хорошая погода, и мы пойдём гулять в парк.";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i], v = argv[i + 1];
        if (a == "--port") port = std::atoi(v.c_str());
        else if (a == "--clients") clients = std::atoi(v.c_str());
        else if (a == "--requests") requests = std::atoi(v.c_str());
        else if (a == "--format") format = v;
        else if (a == "--token") token = v;
        else if (a == "--text") text = v;
    }
    const std::string body =
        nlohmann::json{{"model", "tts-1"}, {"input", text}, {"voice", "ru_azat"},
                       {"response_format", format}}
            .dump();
    std::atomic<int> next{0};
    std::mutex mutex;
    std::vector<double> first_byte_ms, total_ms;
    int ok = 0, busy = 0, failed = 0;
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            httplib::Client client("127.0.0.1", port);
            client.set_keep_alive(true);
            // Headers and body go out in two writes: without this the body
            // waits for the server's delayed acknowledgement.
            client.set_tcp_nodelay(true);
            client.set_read_timeout(60, 0);
            while (next++ < requests) {
                httplib::Request req;
                req.method = "POST";
                req.path = "/v1/audio/speech";
                req.body = body;
                req.set_header("Content-Type", "application/json");
                if (!token.empty()) req.set_header("Authorization", "Bearer " + token);
                const Clock::time_point sent = Clock::now();
                Clock::time_point first{};
                bool got = false;
                req.content_receiver = [&](const char*, std::size_t n, std::uint64_t,
                                           std::uint64_t) {
                    if (!got && n > 0) {
                        got = true;
                        first = Clock::now();
                    }
                    return true;
                };
                httplib::Response res;
                httplib::Error error = httplib::Error::Success;
                const bool sent_ok = client.send(req, res, error);
                const Clock::time_point done = Clock::now();
                std::lock_guard<std::mutex> lock(mutex);
                if (!sent_ok) {
                    ++failed;
                } else if (res.status == 200 && got) {
                    ++ok;
                    first_byte_ms.push_back(
                        std::chrono::duration<double, std::milli>(first - sent).count());
                    total_ms.push_back(std::chrono::duration<double, std::milli>(done - sent).count());
                } else if (res.status == 429) {
                    ++busy;
                } else {
                    ++failed;
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%s\n", nlohmann::json{{"clients", clients},
                                       {"requests", requests},
                                       {"ok", ok},
                                       {"busy", busy},
                                       {"failed", failed},
                                       {"seconds", seconds},
                                       {"rps", ok / seconds},
                                       {"first_byte_p50_ms", percentile(first_byte_ms, 0.5)},
                                       {"first_byte_p99_ms", percentile(first_byte_ms, 0.99)},
                                       {"total_p50_ms", percentile(total_ms, 0.5)}}
                            .dump()
                            .c_str());
    return failed == 0 ? 0 : 1;
}
