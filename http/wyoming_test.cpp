// The Wyoming side, through a client written from the protocol's published
// description: a JSON header line per event, then data_length bytes of more
// data and payload_length bytes of payload.
#include "http/test_server.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace zelvan_tts {
namespace {

using json = nlohmann::json;

struct Event {
    std::string type;
    json data;
    std::string payload;
};

class WyomingClient {
public:
    WyomingClient() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(testing::test_server().wyoming_port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        timeval timeout{30, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~WyomingClient() { ::close(fd_); }
    bool connected() const { return connected_; }

    // The data goes after the header, counted by data_length, as the
    // protocol's own clients send it.
    void send(const std::string& type, const json& data = json::object()) {
        json header{{"type", type}, {"version", "1.5.0"}};
        std::string bytes = data.empty() ? "" : data.dump();
        if (!bytes.empty()) header["data_length"] = bytes.size();
        const std::string out = header.dump() + "\n" + bytes;
        ::send(fd_, out.data(), out.size(), MSG_NOSIGNAL);
    }

    bool receive(Event* event) {
        std::string line;
        char c;
        while (read(&c, 1) && c != '\n') line += c;
        const json header = json::parse(line, nullptr, false);
        if (header.is_discarded()) return false;
        event->type = header["type"];
        event->data = header.value("data", json::object());
        std::string more(header.value("data_length", 0), '\0');
        if (!more.empty() && !read(more.data(), more.size())) return false;
        if (!more.empty()) event->data.update(json::parse(more));
        event->payload.assign(header.value("payload_length", 0), '\0');
        return event->payload.empty() || read(event->payload.data(), event->payload.size());
    }

    // The events up to and including one of type `last`.
    std::vector<Event> until(const std::string& last) {
        std::vector<Event> events;
        Event e;
        while (receive(&e)) {
            events.push_back(e);
            if (e.type == last || e.type == "error") break;
        }
        return events;
    }

private:
    bool read(char* out, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::recv(fd_, out, size, 0);
            if (n <= 0) return false;
            out += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    int fd_;
    bool connected_ = false;
};

// "audio-start, chunk, ..., audio-stop" with the chunks folded into one.
std::string sequence(const std::vector<Event>& events) {
    std::string out;
    for (const Event& e : events) {
        if (e.type == "audio-chunk" && out.size() >= 11 &&
            out.compare(out.size() - 11, 11, "audio-chunk") == 0)
            continue;
        out += (out.empty() ? "" : " ") + e.type;
    }
    return out;
}

TEST(Wyoming, DescribeListsTheVoicesAndTheirLanguages) {
    WyomingClient client;
    ASSERT_TRUE(client.connected());
    client.send("describe");
    Event info;
    ASSERT_TRUE(client.receive(&info));
    EXPECT_EQ(info.type, "info");
    const json& tts = info.data["tts"][0];
    EXPECT_EQ(tts["installed"], true);
    ASSERT_EQ(tts["voices"].size(), 60u);
    EXPECT_EQ(tts["voices"][20]["name"], "ru_azat");
    EXPECT_EQ(tts["voices"][20]["languages"], json::array({"ru"}));
    EXPECT_EQ(tts["voices"][14]["languages"], json::array({"kk"}));
}

TEST(Wyoming, SynthesizeStreamsAudioBetweenStartAndStop) {
    const struct {
        const char* what;
        json data;
        const char* first_event;  // streaming form when "synthesize-start"
        const char* expected;     // the events, chunks folded
        int rate;
    } cases[] = {
        {"a voice by name", {{"text", "Привет. Как дела?"}, {"voice", {{"name", "ru_alsu"}}}},
         "synthesize", "audio-start audio-chunk audio-stop", 48000},
        {"a language and a rate", {{"text", "Добрий день."}, {"voice", {{"language", "uk"}}}, {"rate", 16000}},
         "synthesize", "audio-start audio-chunk audio-stop", 16000},
        {"streamed text", {{"text", "Раз. Два."}}, "synthesize-start",
         "audio-start audio-chunk audio-stop synthesize-stopped", 48000},
        {"unknown voice", {{"text", "Да."}, {"voice", {{"name", "nobody"}}}}, "synthesize", "error", 0},
        {"empty text", {{"text", "  "}}, "synthesize", "error", 0},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        WyomingClient client;
        ASSERT_TRUE(client.connected());
        std::vector<Event> events;
        if (std::string(t.first_event) == "synthesize") {
            client.send("synthesize", t.data);
            events = client.until("audio-stop");
        } else {
            client.send("synthesize-start");
            client.send("synthesize-chunk", {{"text", "Раз. "}});
            client.send("synthesize-chunk", {{"text", "Два."}});
            client.send("synthesize", t.data);  // repeated for older servers
            client.send("synthesize-stop");
            events = client.until("synthesize-stopped");
        }
        EXPECT_EQ(sequence(events), t.expected);
        if (t.rate == 0) continue;
        std::size_t bytes = 0;
        for (const Event& e : events) {
            if (e.type != "audio-start" && e.type != "audio-chunk") continue;
            EXPECT_EQ(e.data["rate"], t.rate);
            EXPECT_EQ(e.data["width"], 2);
            EXPECT_EQ(e.data["channels"], 1);
            EXPECT_EQ(e.payload.size() % 2, 0u);
            bytes += e.payload.size();
        }
        EXPECT_GT(bytes, 0u);
    }
}

}  // namespace
}  // namespace zelvan_tts
