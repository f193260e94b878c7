// The HTTP endpoints against a live server on the loopback: each one's
// answer and errors, every format decoding back, the line full (429), a
// client that leaves cancelling its synthesis; and the command line.
#include "http/server_options.h"
#include "http/test_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <thread>

namespace zelvan_tts {
namespace {

using testing::test_server;

const httplib::Headers kAuth = {{"Authorization", std::string("Bearer ") + testing::kToken}};

httplib::Client client() {
    httplib::Client c("127.0.0.1", test_server().http_port);
    c.set_read_timeout(30, 0);
    return c;
}

std::string error_code(const std::string& body) {
    const auto j = nlohmann::json::parse(body, nullptr, false);
    return j.is_object() && j.contains("error") ? j["error"].value("code", "") : "(not JSON)";
}

std::string speech(const std::string& input, const char* format = "wav") {
    return nlohmann::json{{"model", "tts-1"}, {"input", input}, {"voice", "ru_azat"},
                          {"response_format", format}}
        .dump();
}

TEST(HttpService, EndpointsAnswerAndRefuse) {
    const std::string too_long(testing::kMaxTextChars + 1, 'a');
    const std::string too_big(1100 * 1024, 'a');
    const struct {
        const char* what;
        const char* method;
        std::string path;
        std::string body;
        bool auth;
        int status;
        const char* type_or_code;  // Content-Type of a success, error code of a failure
    } cases[] = {
        {"speech", "POST", "/v1/audio/speech", speech("Привет, мир."), true, 200, "audio/wav"},
        {"mp3 by default", "POST", "/v1/audio/speech", R"({"input": "Да."})", true, 200, "audio/mpeg"},
        {"simple form", "GET", "/api/tts?text=%D0%94%D0%B0.&voice=ru_alsu", "", true, 200, "audio/wav"},
        {"simple form, language", "GET", "/api/tts?text=Da.&lang=uk&format=opus", "", true, 200, "audio/ogg"},
        {"voices", "GET", "/v1/voices", "", true, 200, "application/json"},
        {"voices, other path", "GET", "/api/voices", "", true, 200, "application/json"},
        {"health without token", "GET", "/healthz", "", false, 200, "application/json"},
        {"metrics", "GET", "/metrics", "", true, 200, "text/plain; version=0.0.4"},
        {"bad JSON", "POST", "/v1/audio/speech", "{\"input\": ", true, 400, "invalid_json"},
        {"not an object", "POST", "/v1/audio/speech", "[1]", true, 400, "invalid_json"},
        {"unknown voice", "POST", "/v1/audio/speech", R"({"input": "Да.", "voice": "nobody"})", true, 400, "unknown_voice"},
        {"OpenAI's voice name", "POST", "/v1/audio/speech", R"({"input": "Да.", "voice": "nova", "response_format": "flac"})", true, 200, "audio/flac"},
        {"empty input", "POST", "/v1/audio/speech", speech(" \n "), true, 400, "empty_input"},
        {"no input", "POST", "/v1/audio/speech", R"({"voice": "ru_azat"})", true, 400, "missing_input"},
        {"input not text", "POST", "/v1/audio/speech", R"({"input": 5})", true, 400, "invalid_type"},
        {"too long", "POST", "/v1/audio/speech", speech(too_long), true, 400, "input_too_long"},
        {"body too big", "POST", "/v1/audio/speech", speech(too_big), true, 413, "body_too_large"},
        {"unknown format", "POST", "/v1/audio/speech", speech("Да.", "aac"), true, 400, "unsupported_format"},
        {"speed out of range", "POST", "/v1/audio/speech", R"({"input": "Да.", "speed": 9})", true, 400, "invalid_speed"},
        {"simple form, no text", "GET", "/api/tts?voice=ru_azat", "", true, 400, "missing_input"},
        {"simple form, unknown voice", "GET", "/api/tts?text=a&voice=nobody", "", true, 400, "unknown_voice"},
        {"wrong method", "GET", "/v1/audio/speech", "", true, 405, "method_not_allowed"},
        {"wrong method on voices", "POST", "/v1/voices", "{}", true, 405, "method_not_allowed"},
        {"missing token", "POST", "/v1/audio/speech", speech("Да."), false, 401, "unauthorized"},
        {"no such endpoint", "GET", "/v2/nothing", "", true, 404, "not_found"},
    };
    httplib::Client c = client();
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        const httplib::Headers headers = t.auth ? kAuth : httplib::Headers{};
        const httplib::Result r = std::string(t.method) == "GET"
                                      ? c.Get(t.path.c_str(), headers)
                                      : c.Post(t.path.c_str(), headers, t.body, "application/json");
        ASSERT_TRUE(r) << httplib::to_string(r.error());
        EXPECT_EQ(r->status, t.status);
        if (t.status == 200) {
            EXPECT_EQ(r->get_header_value("Content-Type"), t.type_or_code);
            EXPECT_FALSE(r->body.empty());
        } else {
            EXPECT_EQ(r->get_header_value("Content-Type"), "application/json");
            EXPECT_EQ(error_code(r->body), t.type_or_code) << r->body;
        }
        if (t.status == 405) {
            EXPECT_FALSE(r->get_header_value("Allow").empty());
        }
        if (t.status == 401) {
            EXPECT_EQ(r->get_header_value("WWW-Authenticate"), "Bearer");
        }
    }
}

TEST(HttpService, VoicesCarryNameLanguageAndGender) {
    const httplib::Result r = client().Get("/v1/voices", kAuth);
    ASSERT_TRUE(r);
    const auto voices = nlohmann::json::parse(r->body)["voices"];
    ASSERT_EQ(voices.size(), 60u);
    // Rows of the voice table: 20 is Azat, 21 Alsu, both Russian; 14 Nurlan, Kazakh.
    const struct {
        int row;
        const char* name, *language, *code, *gender;
    } rows[] = {{20, "ru_azat", "rus", "ru", "male"},
                {21, "ru_alsu", "rus", "ru", "female"},
                {14, "kaz_nurlan", "kaz", "kk", "male"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(voices[row.row]["name"], row.name);
        EXPECT_EQ(voices[row.row]["language"], row.language);
        EXPECT_EQ(voices[row.row]["language_code"], row.code);
        EXPECT_EQ(voices[row.row]["gender"], row.gender);
    }
}

struct Decoded {
    int rate = 0;
    double seconds = 0;
};

Decoded decode(const std::string& bytes) {
    const std::string path = ::testing::TempDir() + "http_body";
    std::ofstream(path, std::ios::binary) << bytes;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    Decoded d;
    if (f == nullptr) return d;
    float block[4096];
    sf_count_t n, total = 0;
    while ((n = sf_readf_float(f, block, 4096)) > 0) total += n;
    sf_close(f);
    std::remove(path.c_str());
    d.rate = info.samplerate;
    d.seconds = double(total) / info.samplerate;
    return d;
}

TEST(HttpService, StreamedBodyIsAValidFileOfEachFormat) {
    const std::string text = "Первое предложение. Второе предложение! Третье?";
    httplib::Client c = client();
    auto get = [&](const char* format, double rate = 0) {
        nlohmann::json body = nlohmann::json::parse(speech(text, format));
        if (rate > 0) body["sample_rate"] = rate;
        const httplib::Result r = c.Post("/v1/audio/speech", kAuth, body.dump(), "application/json");
        EXPECT_TRUE(r && r->status == 200);
        return r ? r->body : std::string();
    };
    const Decoded wav = decode(get("wav"));
    ASSERT_EQ(wav.rate, 48000);
    ASSERT_GT(wav.seconds, 0.05);
    const struct {
        const char* format;
        double rate;
        int expected_rate;
    } cases[] = {{"flac", 0, 48000}, {"opus", 0, 48000}, {"mp3", 0, 48000},
                 {"mp3", 22050, 22050}, {"wav", 16000, 16000}};
    for (const auto& t : cases) {
        SCOPED_TRACE(std::string(t.format) + " " + std::to_string(t.rate));
        const Decoded d = decode(get(t.format, t.rate));
        EXPECT_EQ(d.rate, t.expected_rate);
        // The same audio, give or take a codec's delay and padding (MP3 at
        // 22 kHz: two frames of 576 samples).
        EXPECT_NEAR(d.seconds, wav.seconds, 0.1);
    }
    // Raw PCM: 16-bit samples at 24 kHz, as OpenAI-compatible clients expect.
    const std::string pcm = get("pcm");
    EXPECT_NEAR(double(pcm.size()) / 2 / 24000, wav.seconds, 0.01);
}

TEST(HttpService, FullLineIsAnswered429) {
    testing::TestServer& s = test_server();
    // Both engines taken: one request may wait, the next is refused.
    auto a = s.pool->acquire();
    auto b = s.pool->acquire();
    ASSERT_TRUE(a && b);
    auto waiting = std::async(std::launch::async, [] {
        return client().Post("/v1/audio/speech", kAuth, speech("Да."), "application/json");
    });
    while (s.pool->load().waiting == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const httplib::Result refused =
        client().Post("/v1/audio/speech", kAuth, speech("Да."), "application/json");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 429);
    EXPECT_EQ(refused->get_header_value("Retry-After"), "1");
    EXPECT_EQ(error_code(refused->body), "busy");
    a.reset();  // an engine comes free: the waiting request is spoken
    const httplib::Result served = waiting.get();
    ASSERT_TRUE(served);
    EXPECT_EQ(served->status, 200);
}

TEST(HttpService, ClientThatLeavesCancelsItsSynthesis) {
    testing::TestServer& s = test_server();
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "Да. ";
    const std::string body = nlohmann::json{{"input", text}, {"response_format", "pcm"}}.dump();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(s.http_port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string request = "POST /v1/audio/speech HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " +
                                std::string(testing::kToken) +
                                "\r\nContent-Type: application/json\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    ASSERT_EQ(::send(fd, request.data(), request.size(), 0), ssize_t(request.size()));
    char first[256];
    ASSERT_GT(::recv(fd, first, sizeof first, 0), 0);  // the answer has begun
    const auto before = s.metrics.render(s.pool->load());
    ::close(fd);
    // The engine comes back long before 20000 sentences could be spoken,
    // and the synthesis is counted as cancelled.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((s.pool->load().busy > 0 ||
            s.metrics.render(s.pool->load()).find("zelvan_tts_cancelled_total 1") ==
                std::string::npos) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(s.pool->load().busy, 0u);
    EXPECT_NE(s.metrics.render(s.pool->load()).find("zelvan_tts_cancelled_total 1"), std::string::npos);
    EXPECT_NE(before.find("zelvan_tts_cancelled_total 0"), std::string::npos);
}

TEST(ServerOptions, CommandLine) {
    const struct {
        std::vector<std::string> args;
        const char* env_token;
        const char* error;  // "" when accepted
        int port;
    } cases[] = {
        {{}, nullptr, "", 5500},
        {{"--port", "8080", "--engines", "2", "--queue", "0"}, nullptr, "", 8080},
        {{"--host", "0.0.0.0"}, nullptr,
         "listening on 0.0.0.0 needs a bearer token: --token T (or ZELVAN_TTS_HTTP_TOKEN)", 5500},
        {{"--host", "0.0.0.0", "--token", "t"}, nullptr, "", 5500},
        {{"--host", "0.0.0.0"}, "from-env", "", 5500},
        {{"--host", "localhost"}, nullptr, "", 5500},
        {{"--port", "70000"}, nullptr, "bad value for --port: 70000", 5500},
        {{"--engines"}, nullptr, "--engines needs a value", 5500},
        {{"--colour", "red"}, nullptr, "unknown argument: --colour", 5500},
    };
    for (const auto& t : cases) {
        const ParsedOptions p = parse_server_options(t.args, t.env_token);
        EXPECT_EQ(p.error, t.error);
        if (p.error.empty()) {
            EXPECT_EQ(p.options.port, t.port);
        }
    }
}

}  // namespace
}  // namespace zelvan_tts
