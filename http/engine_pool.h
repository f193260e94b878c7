// A fixed set of engines, each speaking one request at a time, and a bounded
// line of requests waiting for one: a request beyond the line is refused at
// once (the server answers 429) rather than piling up.
#pragma once

#include "zelvan_tts.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zelvan_tts {

class EnginePool {
public:
    // Opens `count` engines on `models_root` ("" for the usual search), each
    // with `threads` threads for the voice model (0: its share of the
    // cores). Throws std::runtime_error with the library's message.
    EnginePool(int count, const std::string& models_root, std::size_t max_waiting,
               int threads = 0);
    ~EnginePool();
    EnginePool(const EnginePool&) = delete;
    EnginePool& operator=(const EnginePool&) = delete;

    // An engine held for one request; back to the pool when destroyed.
    class Lease {
    public:
        Lease(EnginePool* pool, zelvan_tts_engine* engine) : pool_(pool), engine_(engine) {}
        Lease(Lease&& other) noexcept : pool_(other.pool_), engine_(other.engine_) {
            other.engine_ = nullptr;
        }
        Lease& operator=(Lease&&) = delete;
        ~Lease() {
            if (engine_ != nullptr) pool_->release(engine_);
        }
        zelvan_tts_engine* engine() const { return engine_; }

    private:
        EnginePool* pool_;
        zelvan_tts_engine* engine_;
    };

    // A free engine, waiting in line while all are busy; nothing when the
    // line is full.
    std::optional<Lease> acquire();

    struct Load {
        std::size_t engines, busy, waiting, max_waiting;
    };
    Load load() const;

    // Any engine, for what does not speak (the voice list needs none).
    zelvan_tts_engine* first() const { return engines_.front(); }

private:
    void release(zelvan_tts_engine* engine);

    std::vector<zelvan_tts_engine*> engines_;
    std::vector<zelvan_tts_engine*> free_;
    std::size_t waiting_ = 0;
    std::size_t max_waiting_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
};

}  // namespace zelvan_tts
