// The audio the module hands to speech-dispatcher: 24 kHz, 16 bits, in
// blocks of 20 ms, through a soft limiter.
//
// 24 kHz carries everything below 12 kHz: all of the recorded voice (it has
// nothing above 7.6 kHz) and what matters of speech for any voice, at half
// the bytes of the engine's 48 kHz, about what espeak-ng sends (22 050 Hz).
// The server has to drain every byte queued for its audio output when it
// stops a message, and small blocks make that little: a STOP followed by
// the next line is heard as soon as espeak-ng's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelvan_tts::speechd {

inline constexpr int kOutputRate = 24000;
// Samples of one AUDIO event at most: 20 ms.
inline constexpr std::size_t kOutputBlockSamples = kOutputRate / 50;

// One message's stream of audio: the engine's 48 kHz samples low-passed
// below 12 kHz and taken every second one, times `gain`, then limited so that
// no sample passes 0.98 of full scale: a peak lowers the gain at once, which
// then comes back within some 50 ms, instead of clipping.
class OutputAudio {
public:
    explicit OutputAudio(float gain = 1.0f);

    // Appends the output of `count` more 48 kHz samples to `out`.
    void add(const float* samples, std::size_t count, std::vector<std::int16_t>& out);
    void set_gain(float gain) { gain_ = gain; }

private:
    std::int16_t limit(float sample);

    std::vector<float> history_;  // the last input samples, oldest first
    std::size_t taken_ = 0;       // input samples so far
    float gain_;
    float envelope_ = 0.0f;
};

}  // namespace zelvan_tts::speechd
