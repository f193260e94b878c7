// What the module needs of a synthesis engine: text in, 48 kHz audio out as
// it is made, stoppable from the audio callback. The real engine is the
// library's C API (capi_engine.h); tests give a fake.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts::speechd {

inline constexpr int kSampleRate = 48000;

struct SynthesisRequest {
    int voice = 0;
    float speed = 1.0f;
    float pitch = 1.0f;
    float volume = 1.0f;
};

enum class SynthesisResult { Done, Stopped, Failed };

// Receives mono float samples at kSampleRate; false stops the synthesis.
using AudioSink = std::function<bool(const float* samples, std::size_t count)>;

// An index mark standing before byte `offset` of the text.
struct TextMark {
    std::string name;
    std::size_t offset = 0;
};

// Receives a mark once the audio before it has gone to the sink; false
// stops the synthesis.
using MarkSink = std::function<bool(const std::string& name)>;

class SpeechEngine {
public:
    virtual ~SpeechEngine() = default;
    // Speaks `text`, handing each sentence's audio to `sink` as soon as it is
    // made, and its marks to `on_mark` where they fall among the words: one
    // synthesis, however many marks. On Failed, `error` says why.
    virtual SynthesisResult synthesize(std::string_view text, const std::vector<TextMark>& marks,
                                       const SynthesisRequest& request, const AudioSink& sink,
                                       const MarkSink& on_mark, std::string& error) = 0;
    // What the engine loaded, one line each (the voice model, the stages'
    // models or why they did not load), for the log.
    virtual std::vector<std::string> report() { return {}; }
};

}  // namespace zelvan_tts::speechd
