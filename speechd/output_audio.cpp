#include "speechd/output_audio.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zelvan_tts::speechd {

namespace {

constexpr std::size_t kTaps = 63;
constexpr float kCeiling = 0.98f;

// A windowed-sinc low pass (Blackman) at 11 kHz for 48 kHz: flat up to
// some 9 kHz, 74 dB down from 13 kHz, so that little folds back below
// 12 kHz when every second sample is kept.
const std::array<float, kTaps>& low_pass() {
    static const std::array<float, kTaps> taps = [] {
        std::array<float, kTaps> h{};
        const double pi = 3.14159265358979323846;
        const double cutoff = 11000.0 / 48000.0;  // cycles per sample
        const double middle = (kTaps - 1) / 2.0;
        double sum = 0;
        for (std::size_t i = 0; i < kTaps; ++i) {
            const double t = static_cast<double>(i) - middle;
            const double sinc = t == 0 ? 2 * cutoff : std::sin(2 * pi * cutoff * t) / (pi * t);
            const double w = 0.42 - 0.5 * std::cos(2 * pi * i / (kTaps - 1)) +
                             0.08 * std::cos(4 * pi * i / (kTaps - 1));
            h[i] = static_cast<float>(sinc * w);
            sum += sinc * w;
        }
        for (float& v : h) v = static_cast<float>(v / sum);
        return h;
    }();
    return taps;
}

// The limiter's gain comes back by this factor per output sample: 50 ms.
const float kRelease = static_cast<float>(std::exp(-1.0 / (0.05 * kOutputRate)));

}  // namespace

OutputAudio::OutputAudio(float gain) : history_(kTaps, 0.0f), gain_(gain) {}

std::int16_t OutputAudio::limit(float sample) {
    const float x = std::isfinite(sample) ? sample * gain_ : 0.0f;
    envelope_ = std::max(std::abs(x), envelope_ * kRelease);
    const float y = envelope_ > kCeiling ? x * (kCeiling / envelope_) : x;
    return static_cast<std::int16_t>(std::lround(y * 32767.0f));
}

void OutputAudio::add(const float* samples, std::size_t count, std::vector<std::int16_t>& out) {
    const std::array<float, kTaps>& h = low_pass();
    for (std::size_t i = 0; i < count; ++i) {
        // A short ring would be faster; a shift of 63 floats costs nothing
        // beside the synthesis.
        std::move(history_.begin() + 1, history_.end(), history_.begin());
        history_.back() = samples[i];
        if (++taken_ % 2 != 0) continue;
        float sum = 0.0f;
        for (std::size_t k = 0; k < kTaps; ++k) sum += h[k] * history_[k];
        out.push_back(limit(sum));
    }
}

}  // namespace zelvan_tts::speechd
