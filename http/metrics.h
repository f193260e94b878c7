// What the server counts, in Prometheus' text format: requests by endpoint
// and status, the queue, the real-time factor and the time to the first
// audio byte.
#pragma once

#include "http/engine_pool.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace zelvan_tts {

class Metrics {
public:
    void count_request(const std::string& endpoint, int status);
    void count_cancelled();
    // One synthesis that finished: seconds of audio made in `busy_seconds`
    // of an engine's time, and the first audio byte `first_byte_seconds`
    // after the request arrived (negative when none was sent).
    void count_synthesis(double audio_seconds, double busy_seconds, double first_byte_seconds);

    std::string render(const EnginePool::Load& load) const;

    static constexpr std::array<double, 12> kFirstByteBuckets = {
        0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30};

private:
    mutable std::mutex mutex_;
    std::map<std::pair<std::string, int>, std::uint64_t> requests_;
    std::uint64_t cancelled_ = 0;
    std::uint64_t syntheses_ = 0;
    double audio_seconds_ = 0;
    double busy_seconds_ = 0;
    std::array<std::uint64_t, kFirstByteBuckets.size()> first_byte_buckets_{};
    std::uint64_t first_byte_count_ = 0;
    double first_byte_sum_ = 0;
};

}  // namespace zelvan_tts
