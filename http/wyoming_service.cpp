#include "http/wyoming_service.h"

#include "http/speech_stream.h"
#include "http/voice_catalog.h"
#include "zelvan_tts.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace zelvan_tts {

namespace {

using json = nlohmann::json;

constexpr std::size_t kMaxHeaderBytes = 1 << 20;
constexpr std::size_t kMaxDataBytes = 1 << 20;
constexpr std::size_t kMaxPayloadBytes = 16 << 20;
constexpr std::size_t kChunkSamples = 4096;

// Reads whole lines and counted bytes off a socket.
class EventReader {
public:
    explicit EventReader(int fd) : fd_(fd) {}

    // A header line without its '\n'; false at the end of the stream or
    // for a line longer than kMaxHeaderBytes.
    bool line(std::string* out) {
        for (;;) {
            const std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                *out = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return true;
            }
            if (buffer_.size() > kMaxHeaderBytes || !fill()) return false;
        }
    }

    bool bytes(std::size_t count, std::string* out) {
        while (buffer_.size() < count)
            if (!fill()) return false;
        *out = buffer_.substr(0, count);
        buffer_.erase(0, count);
        return true;
    }

private:
    bool fill() {
        char chunk[65536];
        ssize_t n;
        do n = ::recv(fd_, chunk, sizeof chunk, 0);
        while (n < 0 && errno == EINTR);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    int fd_;
    std::string buffer_;
};

struct Event {
    std::string type;
    json data = json::object();
};

// One event: its header, its data merged over the header's, its payload
// read and dropped (a text-to-speech server takes none). False at the end
// of the stream or on an event that cannot be read.
bool read_event(EventReader& reader, Event* event) {
    std::string line;
    if (!reader.line(&line)) return false;
    const json header = json::parse(line, nullptr, false);
    if (header.is_discarded() || !header.is_object() || !header.contains("type") ||
        !header["type"].is_string())
        return false;
    event->type = header["type"].get<std::string>();
    event->data = header.contains("data") && header["data"].is_object() ? header["data"]
                                                                        : json::object();
    auto length = [&](const char* key, std::size_t limit, std::size_t* out) {
        *out = 0;
        if (!header.contains(key) || header[key].is_null()) return true;
        if (!header[key].is_number_unsigned()) return false;
        *out = header[key].get<std::size_t>();
        return *out <= limit;
    };
    std::size_t data_length = 0, payload_length = 0;
    if (!length("data_length", kMaxDataBytes, &data_length) ||
        !length("payload_length", kMaxPayloadBytes, &payload_length))
        return false;
    std::string bytes;
    if (data_length > 0) {
        if (!reader.bytes(data_length, &bytes)) return false;
        const json more = json::parse(bytes, nullptr, false);
        if (more.is_discarded() || !more.is_object()) return false;
        event->data.update(more);
    }
    return payload_length == 0 || reader.bytes(payload_length, &bytes);
}

bool send_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool send_event(int fd, const std::string& type, const json& data,
                const std::uint8_t* payload = nullptr, std::size_t payload_size = 0) {
    json header{{"type", type}, {"data", data}};
    if (payload_size > 0) header["payload_length"] = payload_size;
    std::string out = header.dump();
    out += '\n';
    out.append(reinterpret_cast<const char*>(payload), payload_size);
    return send_all(fd, out.data(), out.size());
}

bool send_error(int fd, const std::string& code, const std::string& text) {
    return send_event(fd, "error", {{"text", text}, {"code", code}});
}

json info_data() {
    const json attribution{{"name", "Zelvan TTS"}, {"url", ""}};
    json voices = json::array();
    for (const VoiceEntry& v : voice_catalog())
        voices.push_back({{"name", v.key},
                          {"description", v.display_name},
                          {"attribution", attribution},
                          {"installed", true},
                          {"version", zelvan_tts_version()},
                          {"languages", {v.language_code}},
                          {"speakers", nullptr}});
    // The published description calls the list "models", the protocol's
    // own library "voices": both are sent, and each side ignores the other.
    json program{{"name", "zelvan_tts"},
                 {"description", "Zelvan TTS: Russian and nineteen languages of the region"},
                 {"attribution", attribution},
                 {"installed", true},
                 {"version", zelvan_tts_version()},
                 {"voices", voices},
                 {"models", voices},
                 {"supports_synthesize_streaming", false}};
    return {{"tts", {program}}, {"asr", json::array()}, {"handle", json::array()},
            {"intent", json::array()}, {"wake", json::array()}, {"mic", json::array()},
            {"snd", json::array()}};
}

std::size_t utf8_chars(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

std::string text_of(const json& data, const char* key) {
    const auto it = data.find(key);
    return it != data.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

WyomingService::WyomingService(EnginePool& pool, Metrics& metrics, std::size_t max_text_chars)
    : pool_(pool), metrics_(metrics), max_text_chars_(max_text_chars) {}

WyomingService::~WyomingService() { stop(); }

int WyomingService::listen(const std::string& host, int port, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        *error = "cannot resolve " + host;
        return -1;
    }
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    const int yes = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (fd < 0 || ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
        *error = std::string("cannot listen on ") + host + ":" + service + ": " +
                 std::strerror(errno);
        if (fd >= 0) ::close(fd);
        freeaddrinfo(found);
        return -1;
    }
    freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
    listener_ = fd;
    return ntohs(bound.ss_family == AF_INET6
                     ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                     : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

void WyomingService::start() { acceptor_ = std::thread([this] { accept_loop(); }); }

void WyomingService::stop() {
    if (stopping_.exchange(true)) return;
    if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    if (listener_ >= 0) ::close(listener_);
    std::vector<Client> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
        threads.swap(threads_);
    }
    for (Client& c : threads) c.thread.join();
}

void WyomingService::accept_loop() {
    while (!stopping_) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;  // the listener was shut down
        }
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        for (auto it = threads_.begin(); it != threads_.end();) {
            if (*it->done) {
                it->thread.join();
                it = threads_.erase(it);
            } else {
                ++it;
            }
        }
        clients_.insert(fd);
        auto done = std::make_shared<std::atomic<bool>>(false);
        threads_.push_back({std::thread([this, fd, done] {
                                serve(fd);
                                std::lock_guard<std::mutex> lock(mutex_);
                                clients_.erase(fd);
                                ::close(fd);
                                *done = true;
                            }),
                            done});
    }
}

void WyomingService::serve(int fd) {
    EventReader reader(fd);
    Event event;
    bool streaming = false;  // between synthesize-start and synthesize-stop
    json streamed_voice;
    std::string streamed_text;
    int status = 200;  // of the last synthesis, for the metrics

    // audio-start, the chunks, audio-stop; false when the connection is over.
    auto speak = [&](const std::string& text, const json& voice, const json& data) -> bool {
        status = 400;
        const auto arrived = std::chrono::steady_clock::now();
        SpeechJob job;
        job.format = AudioFormat::Pcm;
        job.text = text;
        job.ssml = text_of(data, "text_format") == "ssml";
        if (text.find_first_not_of(" \t\r\n") == std::string::npos)
            return send_error(fd, "empty_input", "The text to speak is empty.");
        if (utf8_chars(text) > max_text_chars_)
            return send_error(fd, "input_too_long", "The text is longer than " +
                                                        std::to_string(max_text_chars_) +
                                                        " characters.");
        if (voice.is_object()) {
            const std::string name = text_of(voice, "name");
            const std::string speaker = text_of(voice, "speaker");
            const std::string language = text_of(voice, "language");
            if (!speaker.empty() && find_voice_by_name(speaker) >= 0)
                job.voice = find_voice_by_name(speaker);
            else if (!name.empty())
                job.voice = find_voice_by_name(name);
            else if (!language.empty())
                job.voice = find_voice_by_language(language);
            if (job.voice < 0)
                return send_error(fd, "unknown_voice",
                                  "No voice \"" + (name.empty() ? language : name) + "\".");
        }
        // 48 kHz unless the client asks for another rate (8 to 48 kHz).
        int rate = ZELVAN_TTS_SAMPLE_RATE;
        if (data.contains("rate") && data["rate"].is_number_integer())
            rate = std::clamp(data["rate"].get<int>(), 8000, ZELVAN_TTS_SAMPLE_RATE);
        job.sample_rate = rate;

        std::optional<EnginePool::Lease> lease = pool_.acquire();
        status = 429;
        if (!lease) return send_error(fd, "busy", "Every engine is speaking; retry.");
        status = 200;
        const json format{{"rate", rate}, {"width", 2}, {"channels", 1}};
        json start = format;
        start["timestamp"] = 0;
        if (!send_event(fd, "audio-start", start)) return false;
        std::uint64_t samples_sent = 0;
        ByteSink sink;
        sink.write = [&](const std::uint8_t* bytes, std::size_t size) {
            for (std::size_t at = 0; at < size; at += 2 * kChunkSamples) {
                const std::size_t n = std::min(size - at, 2 * kChunkSamples);
                json chunk = format;
                chunk["timestamp"] = samples_sent * 1000 / static_cast<std::uint64_t>(rate);
                if (!send_event(fd, "audio-chunk", chunk, bytes + at, n)) return false;
                samples_sent += n / 2;
            }
            return true;
        };
        const std::function<bool()> still_there = [fd] {
            char byte;
            return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) != 0;
        };
        const StreamOutcome out = stream_speech(lease->engine(), job, sink, still_there, arrived);
        metrics_.count_synthesis(out.audio_seconds, out.busy_seconds, out.first_byte_seconds);
        if (out.client_gone) {
            metrics_.count_cancelled();
            return false;
        }
        if (out.status != ZELVAN_TTS_OK) {
            status = 500;
            send_error(fd, "synthesis_failed", out.error);
            return false;
        }
        return send_event(fd, "audio-stop",
                          {{"timestamp", samples_sent * 1000 / static_cast<std::uint64_t>(rate)}});
    };

    while (!stopping_ && read_event(reader, &event)) {
        bool ok = true;
        if (event.type == "describe") {
            ok = send_event(fd, "info", info_data());
        } else if (event.type == "synthesize") {
            // Inside a streamed request the plain form repeats the text for
            // older servers: the stream already has it.
            if (!streaming) {
                const json voice = event.data.contains("voice") ? event.data["voice"] : json();
                ok = speak(text_of(event.data, "text"), voice, event.data);
                metrics_.count_request("wyoming", status);
            }
        } else if (event.type == "synthesize-start") {
            streaming = true;
            streamed_text.clear();
            streamed_voice = event.data.contains("voice") ? event.data["voice"] : json();
        } else if (event.type == "synthesize-chunk") {
            // Past four bytes a character the text is too long anyway.
            if (streamed_text.size() <= 4 * max_text_chars_)
                streamed_text += text_of(event.data, "text");
        } else if (event.type == "synthesize-stop") {
            streaming = false;
            ok = speak(streamed_text, streamed_voice, event.data) &&
                 send_event(fd, "synthesize-stopped", json::object());
            metrics_.count_request("wyoming", status);
        } else if (event.type == "ping") {
            ok = send_event(fd, "pong", {{"text", text_of(event.data, "text")}});
        }
        if (!ok) break;
    }
}

}  // namespace zelvan_tts
