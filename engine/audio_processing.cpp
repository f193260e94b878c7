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

// These loops touch every sample of every block: they are written so that
// the compiler vectorises them, and built for AVX2 as well where it exists.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ZELVAN_SAMPLE_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define ZELVAN_SAMPLE_LOOP
#endif

ZELVAN_SAMPLE_LOOP void scale(float* __restrict data, std::size_t n, float factor) {
    for (std::size_t i = 0; i < n; ++i) data[i] *= factor;
}

// NaN is no sample value at all: it becomes silence rather than reaching a
// conversion that cannot represent it.
inline float clamped(float s) { return s == s ? std::min(std::max(s, -1.0f), 1.0f) : 0.0f; }

ZELVAN_SAMPLE_LOOP void clamp(float* __restrict data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) data[i] = clamped(data[i]);
}

ZELVAN_SAMPLE_LOOP void scale_and_clamp(const float* __restrict in, float* __restrict out,
                                        std::size_t n, float factor) {
    for (std::size_t i = 0; i < n; ++i) out[i] = clamped(in[i] * factor);
}

}  // namespace

void apply_volume(std::vector<float>& samples, float volume) {
    if (volume == 1.0f) return;
    scale(samples.data(), samples.size(), volume);
}

void clamp_unit(std::vector<float>& samples) { clamp(samples.data(), samples.size()); }

std::vector<float> scaled_and_clamped(const float* samples, std::size_t count, float volume) {
    std::vector<float> out(count);
    // Multiplying by exactly 1.0 changes no value, so one pass serves both.
    scale_and_clamp(samples, out.data(), count, volume);
    return out;
}

float stretch_factor(float requested) {
    if (std::isnan(requested)) return requested;
    return std::clamp(requested, kMinStretchFactor, kMaxStretchFactor);
}

std::unique_ptr<SonicStretcher> SonicStretcher::create(int sample_rate, float speed, float pitch) {
    if (std::isnan(speed) || std::isnan(pitch)) {
        throw std::runtime_error("Speed and pitch must be numbers");
    }
    speed = stretch_factor(speed);
    pitch = stretch_factor(pitch);
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
