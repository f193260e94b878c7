// The Wyoming protocol of Home Assistant on its own TCP port: one JSON
// header line per event, then `data_length` bytes of more JSON data and
// `payload_length` bytes of payload. `describe` is answered with `info`
// (the voices and their languages); `synthesize` with `audio-start`, the
// audio in `audio-chunk`s of 16-bit mono PCM and `audio-stop`. The
// streaming form (`synthesize-start`, `-chunk`, `-stop`) speaks the text
// gathered at `synthesize-stop` and ends with `synthesize-stopped`.
#pragma once

#include "http/engine_pool.h"
#include "http/metrics.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace zelvan_tts {

class WyomingService {
public:
    // `max_text_chars` bounds a synthesis's text as on the HTTP side.
    WyomingService(EnginePool& pool, Metrics& metrics, std::size_t max_text_chars);
    ~WyomingService();
    WyomingService(const WyomingService&) = delete;
    WyomingService& operator=(const WyomingService&) = delete;

    // Binds and listens on `host`:`port` (0: any free port); the port, or -1
    // with `error` set.
    int listen(const std::string& host, int port, std::string* error);
    // Accepts connections on a thread of its own, one thread per client.
    void start();
    // Closes the listener and every connection, and waits for their threads.
    void stop();

private:
    void accept_loop();
    void serve(int fd);

    EnginePool& pool_;
    Metrics& metrics_;
    std::size_t max_text_chars_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::set<int> clients_;
    // Each client's thread, and whether it has finished: finished ones are
    // joined at the next connection, so that a long life of short
    // connections keeps no dead threads.
    struct Client {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Client> threads_;
};

}  // namespace zelvan_tts
