#include "engine/audio_processing.h"

#include <sonic.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace zelvan_tts {

namespace {

constexpr int kReadBufferSamples = 4096;

// Sonic counts samples in int; larger blocks go in slices.
constexpr std::size_t kMaxWrite = 1u << 24;

}  // namespace

void apply_volume(std::vector<float>& samples, float volume) {
    if (volume == 1.0f) return;
    for (float& s : samples) s *= volume;
}

void clamp_unit(std::vector<float>& samples) {
    // NaN is no sample value at all: it becomes silence rather than reaching
    // a conversion that cannot represent it.
    for (float& s : samples) s = std::isnan(s) ? 0.0f : std::clamp(s, -1.0f, 1.0f);
}

std::unique_ptr<SonicStretcher> SonicStretcher::create(int sample_rate, float speed, float pitch) {
    sonicStream stream = sonicCreateStream(sample_rate, 1);
    if (stream == nullptr) throw std::runtime_error("Failed to create Sonic stream");
    sonicSetSpeed(stream, speed);
    sonicSetPitch(stream, pitch);
    sonicSetVolume(stream, 1.0f);  // volume is applied before the stretcher
    sonicSetQuality(stream, 1);
    return std::unique_ptr<SonicStretcher>(new SonicStretcher(stream));
}

SonicStretcher::~SonicStretcher() { sonicDestroyStream(stream_); }

void SonicStretcher::write(const std::vector<float>& samples) {
    for (std::size_t pos = 0; pos < samples.size(); pos += kMaxWrite) {
        const std::size_t n = std::min(kMaxWrite, samples.size() - pos);
        // Sonic copies the input; it only lacks the const in its signature.
        sonicWriteFloatToStream(stream_, const_cast<float*>(samples.data() + pos),
                                static_cast<int>(n));
    }
}

std::vector<float> SonicStretcher::read_available() {
    std::vector<float> out;
    float buffer[kReadBufferSamples];
    int n;
    while ((n = sonicReadFloatFromStream(stream_, buffer, kReadBufferSamples)) > 0) {
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

void SonicStretcher::flush() { sonicFlushStream(stream_); }

std::vector<std::int16_t> to_pcm16(const std::vector<float>& samples) {
    std::vector<std::int16_t> out(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        // nearbyint rounds in the current mode: ties to even by default.
        const double v = std::nearbyint(static_cast<double>(samples[i]) * 32767.0);
        out[i] = std::isnan(v) ? 0 : static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return out;
}

}  // namespace zelvan_tts
