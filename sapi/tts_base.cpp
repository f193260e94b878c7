#include "sapi/tts_base.h"

#include "engine/audio_processing.h"
#include "engine/engine.h"
#include "engine/model_constants.h"

#include <memory>

namespace zelvan_tts::sapi {

namespace {

bool initialized = false;
// Owned, but never destroyed with the library's static objects: at process
// exit LibTorch may be gone already, so only a real unload (shutdown) frees
// the engine and its model.
Engine* engine = nullptr;

}  // namespace

std::mutex& tts_base::engine_mutex() {
    static std::mutex mutex;
    return mutex;
}

void tts_base::initialize() {
    if (initialized) return;
    engine = std::make_unique<Engine>(EngineOptions{}).release();
    initialized = true;
}

void tts_base::shutdown() noexcept {
    std::lock_guard<std::mutex> lock(engine_mutex());
    if (initialized) {
        delete engine;
        engine = nullptr;
        initialized = false;
    }
}

bool tts_base::loaded() {
    std::lock_guard<std::mutex> lock(engine_mutex());
    return initialized;
}

bool tts_base::synthesize(const std::string& text, std::int32_t speaker, float speed, float pitch,
                          float volume, const block_sink& on_block,
                          std::vector<WordTimestamp>* word_timestamps) {
    std::lock_guard<std::mutex> lock(engine_mutex());
    initialize();
    if (static_cast<std::uint32_t>(speaker) >= static_cast<std::uint32_t>(kSpeakerCount)) {
        speaker = 0;
    }
    SynthesisRequest request{text, speaker, speed, pitch, volume};
    const AudioSink on_audio = [&](const std::vector<float>& block) {
        return on_block(block, kSampleRate);
    };
    const UnmappedCharsSink on_unmapped = [](const std::string&, int) {};
    return engine->synthesize(request, on_audio, on_unmapped, word_timestamps);
}

bool synthesize_to_int16(const std::string& text, std::int32_t speaker, float speed, float pitch,
                         float volume, std::vector<std::int16_t>& samples,
                         std::vector<WordTimestamp>* word_timestamps) {
    std::vector<float> floats;
    const bool ok = tts_base::synthesize(
        text, speaker, speed, pitch, volume,
        [&](const std::vector<float>& block, int) {
            floats.insert(floats.end(), block.begin(), block.end());
            return true;
        },
        word_timestamps);
    if (ok) samples = to_pcm16(floats);
    return ok;
}

}  // namespace zelvan_tts::sapi
