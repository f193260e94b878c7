#include "http/engine_pool.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace zelvan_tts {

EnginePool::EnginePool(int count, const std::string& models_root, std::size_t max_waiting,
                       int threads)
    : max_waiting_(max_waiting) {
    // Engines side by side share the cores: each voice model gets its part,
    // else N engines would each start a thread per core and fight.
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    zelvan_tts_engine_params params = zelvan_tts_default_params();
    params.models_root = models_root.empty() ? nullptr : models_root.c_str();
    params.threads = threads > 0 ? threads : std::max(1, cores / std::max(1, count));
    for (int i = 0; i < count; ++i) {
        zelvan_tts_engine* engine = nullptr;
        if (zelvan_tts_engine_open(&params, &engine) != ZELVAN_TTS_OK) {
            const std::string message = zelvan_tts_last_error();
            for (zelvan_tts_engine* e : engines_) zelvan_tts_engine_close(e);
            throw std::runtime_error(message);
        }
        engines_.push_back(engine);
    }
    free_ = engines_;
}

EnginePool::~EnginePool() {
    for (zelvan_tts_engine* e : engines_) zelvan_tts_engine_close(e);
}

std::optional<EnginePool::Lease> EnginePool::acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (free_.empty()) {
        if (waiting_ >= max_waiting_) return std::nullopt;
        ++waiting_;
        freed_.wait(lock, [&] { return !free_.empty(); });
        --waiting_;
    }
    zelvan_tts_engine* engine = free_.back();
    free_.pop_back();
    return Lease(this, engine);
}

void EnginePool::release(zelvan_tts_engine* engine) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(engine);
    }
    freed_.notify_one();
}

EnginePool::Load EnginePool::load() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return {engines_.size(), engines_.size() - free_.size(), waiting_, max_waiting_};
}

}  // namespace zelvan_tts
