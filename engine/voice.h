// What the pipeline asks of a voice model: the audio of one chunk and, when
// the model gives them, the start time of every id. No LibTorch here: the
// TorchScript voice is one implementation (engine/voice_model.h), and a test
// can put a plain C++ voice in its place.
#pragma once

#include <cstdint>
#include <vector>

namespace zelvan_tts {

struct VoiceOutput {
    std::vector<float> audio;  // mono, 48 kHz, nominally in [-1, 1]
    std::vector<float> times;  // seconds from the chunk's start, one per id
    bool timed = false;        // false: the model gave no times
};

class VoiceModel {
public:
    virtual ~VoiceModel() = default;

    // One chunk: `ids` framed as encode_text frames them, `speaker` the
    // model's speaker id. Throws when the model fails.
    virtual VoiceOutput speak(const std::vector<std::int64_t>& ids, std::int64_t speaker) = 0;
};

}  // namespace zelvan_tts
