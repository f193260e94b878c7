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
class SonicStretcher {
public:
    // Throws std::runtime_error "Failed to create Sonic stream".
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
