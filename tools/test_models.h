// Small TorchScript modules for the tests, packed with the program key like
// an installation's model files. Nothing here needs LibTorch's headers; see
// torchscript_packing.h for packing modules a test builds itself.
#pragma once

#include <cstdint>
#include <string>

namespace zelvan_tts::test_models {

// Samples the test voice models produce per input symbol id.
inline constexpr int kSamplesPerSymbol = 480;

enum class VoiceModelKind {
    // (audio, times): for id k at position p, kSamplesPerSymbol samples of
    // k * 0.001 + speaker * 0.0001 (float32), and time p * 0.01 s.
    Timed,
    // The same audio as a plain tensor, without times.
    AudioOnly,
    // forward raises "test voice model failure".
    Raising,
    // (audio, times) with the audio as int64: the ids themselves.
    Int64Audio,
};

// Audio value of one sample of the Timed and AudioOnly models.
inline float expected_sample(std::int64_t id, std::int64_t speaker) {
    return static_cast<float>(id) * 0.001f + static_cast<float>(speaker) * 0.0001f;
}

// Writes a packed voice model of the given kind to `path` (UTF-8). With
// `ballast_floats` > 0 the model carries a float32 weight of that many
// elements which its forward reads, so loading costs realistic memory.
void write_voice_model(const std::string& path, VoiceModelKind kind,
                       std::int64_t ballast_floats = 0);

}  // namespace zelvan_tts::test_models
