#include "http/metrics.h"

#include <sstream>

namespace zelvan_tts {

void Metrics::count_request(const std::string& endpoint, int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_[{endpoint, status}];
}

void Metrics::count_cancelled() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++cancelled_;
}

void Metrics::count_synthesis(double audio_seconds, double busy_seconds,
                              double first_byte_seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++syntheses_;
    audio_seconds_ += audio_seconds;
    busy_seconds_ += busy_seconds;
    if (first_byte_seconds < 0) return;
    ++first_byte_count_;
    first_byte_sum_ += first_byte_seconds;
    for (std::size_t i = 0; i < kFirstByteBuckets.size(); ++i)
        if (first_byte_seconds <= kFirstByteBuckets[i]) ++first_byte_buckets_[i];
}

std::string Metrics::render(const EnginePool::Load& load) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::ostringstream out;
    out << "# HELP zelvan_tts_requests_total Requests answered, by endpoint and status.\n"
           "# TYPE zelvan_tts_requests_total counter\n";
    for (const auto& [key, n] : requests_)
        out << "zelvan_tts_requests_total{endpoint=\"" << key.first << "\",code=\"" << key.second
            << "\"} " << n << '\n';
    // One series with a single value: its help, its type and the value.
    const auto series = [&out](const char* name, const char* type, const char* help, auto value) {
        out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n'
            << name << ' ' << value << '\n';
    };
    series("zelvan_tts_engines", "gauge", "Engines of the pool.", load.engines);
    series("zelvan_tts_engines_busy", "gauge", "Engines speaking now.", load.busy);
    series("zelvan_tts_queue_length", "gauge", "Requests waiting for an engine.", load.waiting);
    series("zelvan_tts_queue_limit", "gauge", "Requests that may wait before 429.", load.max_waiting);
    series("zelvan_tts_cancelled_total", "counter", "Syntheses stopped because the client left.", cancelled_);
    series("zelvan_tts_syntheses_total", "counter", "Syntheses run.", syntheses_);
    series("zelvan_tts_audio_seconds_total", "counter", "Seconds of audio made.", audio_seconds_);
    series("zelvan_tts_synthesis_seconds_total", "counter", "Engine seconds spent making it.", busy_seconds_);
    series("zelvan_tts_real_time_factor", "gauge", "Engine seconds per second of audio, since start.",
           audio_seconds_ > 0 ? busy_seconds_ / audio_seconds_ : 0.0);
    out << "# HELP zelvan_tts_first_byte_seconds From a request's arrival to its first audio "
           "byte.\n# TYPE zelvan_tts_first_byte_seconds histogram\n";
    for (std::size_t i = 0; i < kFirstByteBuckets.size(); ++i)
        out << "zelvan_tts_first_byte_seconds_bucket{le=\"" << kFirstByteBuckets[i] << "\"} "
            << first_byte_buckets_[i] << '\n';
    out << "zelvan_tts_first_byte_seconds_bucket{le=\"+Inf\"} " << first_byte_count_ << '\n'
        << "zelvan_tts_first_byte_seconds_sum " << first_byte_sum_ << '\n'
        << "zelvan_tts_first_byte_seconds_count " << first_byte_count_ << '\n';
    return out.str();
}

}  // namespace zelvan_tts
