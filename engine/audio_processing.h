// Volume, clipping, tempo and pitch of the model's float samples, and the
// conversion to 16-bit PCM where a host needs integers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct sonicStreamStruct;

namespace zelvan_tts {

// Multiplies every sample by `volume`; a volume of exactly 1.0 leaves the
// samples untouched.
void apply_volume(std::vector<float>& samples, float volume);

// Clips every sample to [-1.0, 1.0]: loud audio is clipped, never wrapped;
// NaN becomes 0.
void clamp_unit(std::vector<float>& samples);

// A copy of `count` samples with apply_volume and clamp_unit applied, made
// in one pass over the memory.
std::vector<float> scaled_and_clamped(const float* samples, std::size_t count, float volume);

// Changes tempo and pitch through one Sonic stream for a whole synthesis, so
// that its look-ahead runs across chunk borders and the joins stay smooth.
// Speed and pitch factors act as the nearest of these bounds: Sonic itself
// crashes on zero, negative and tiny factors, and a request may carry any
// float.
inline constexpr float kMinStretchFactor = 0.05f;
inline constexpr float kMaxStretchFactor = 20.0f;

// The factor a stretcher applies for a requested one (NaN stays NaN).
float stretch_factor(float requested);

class SonicStretcher {
public:
    // Applies stretch_factor to both. Throws std::runtime_error "Speed and
    // pitch must be numbers" for NaN, and "Failed to create Sonic stream".
    static std::unique_ptr<SonicStretcher> create(int sample_rate, float speed, float pitch);

    ~SonicStretcher();
    SonicStretcher(const SonicStretcher&) = delete;
    SonicStretcher& operator=(const SonicStretcher&) = delete;

    void write(const std::vector<float>& samples);
    // Everything the stream can hand out now; it keeps some audio back until
    // it has seen what follows.
    std::vector<float> read_available();
    // No more input follows: release what is held back.
    void flush();

private:
    explicit SonicStretcher(sonicStreamStruct* stream) : stream_(stream) {}
    sonicStreamStruct* stream_;
};

// 32767 x sample, rounded to nearest (ties to even) and clamped to int16.
std::vector<std::int16_t> to_pcm16(const std::vector<float>& samples);

}  // namespace zelvan_tts
