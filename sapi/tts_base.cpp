#include "sapi/tts_base.h"

#include "engine/audio_processing.h"
#include "engine/model_constants.h"
#include "engine/pipeline.h"
#include "engine/search_paths.h"
#include "engine/voice_model.h"
#include "shared/symbols/symbols.h"

#include <torch/script.h>

#include <memory>

namespace zelvan_tts::sapi {

namespace {

bool initialized = false;
// Owned, but never destroyed with the library's static objects: at process
// exit LibTorch may be gone already, so only a real unload (shutdown) frees
// the model.
torch::jit::Module* model = nullptr;

}  // namespace

std::mutex& tts_base::engine_mutex() {
    static std::mutex mutex;
    return mutex;
}

void tts_base::initialize() {
    if (initialized) return;
    SymbolMap::instance();
    configure_torch_runtime();
    const std::string path = find_voice_model_path().u8string();
    auto loaded_model = std::make_unique<torch::jit::Module>(load_voice_model(path));
    model = loaded_model.release();
    initialized = true;
}

void tts_base::shutdown() noexcept {
    std::lock_guard<std::mutex> lock(engine_mutex());
    if (initialized) {
        delete model;
        model = nullptr;
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
    return synthesize_with_word_timestamps(*model, request, on_audio, on_unmapped, word_timestamps);
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
