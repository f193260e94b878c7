// The host of the synthesis engine inside a speaking application: one voice
// model per process, loaded on first need, and one synthesis at a time.
#pragma once

#include "engine/word_timestamps.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zelvan_tts::sapi {

// One sentence of the engine as 16-bit samples.
struct SynthResult {
    std::vector<std::int16_t> audio;  // mono, 48000 Hz
    std::vector<WordTimestamp> word_timestamps;
    bool ok = false;
};

class tts_base {
public:
    // A block of float samples and its sample rate; false stops the synthesis.
    using block_sink = std::function<bool(const std::vector<float>& block, int sample_rate)>;

    // Serialises loading, unloading and every synthesis in the process.
    static std::mutex& engine_mutex();

    // Loads the model unless one is loaded. The caller holds engine_mutex.
    // Throws what loading throws; the model stays unloaded then.
    static void initialize();

    // Releases the model, after waiting for a running synthesis.
    static void shutdown() noexcept;

    // Synthesises with the process's model (loading it first when needed).
    // A speaker outside the voice table speaks with voice 0. `on_block` runs
    // with engine_mutex held and must not call back into tts_base.
    static bool synthesize(const std::string& text, std::int32_t speaker, float speed, float pitch,
                           float volume, const block_sink& on_block,
                           std::vector<WordTimestamp>* word_timestamps);

    // Whether a model is loaded now.
    static bool loaded();
};

// The whole utterance as 16-bit samples; `samples` stays empty when the
// synthesis returns false.
bool synthesize_to_int16(const std::string& text, std::int32_t speaker, float speed, float pitch,
                         float volume, std::vector<std::int16_t>& samples,
                         std::vector<WordTimestamp>* word_timestamps);

}  // namespace zelvan_tts::sapi
