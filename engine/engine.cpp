#include "engine/engine.h"

#include "accentor/accentor_stage.h"
#include "engine/model_constants.h"
#include "core/search_paths.h"
#include "engine/voice_model.h"
#include "homosolver/homograph_stage.h"
#include "platform/utf8_path.h"

#include <filesystem>

namespace zelvan_tts {

namespace {

bool decide(StageMode mode, bool setting) {
    return mode == StageMode::On || (mode == StageMode::FollowSettings && setting);
}

std::unique_ptr<VoiceModel> load_voice(const EngineOptions& options) {
    const ModelsRootScope scope(options.models_root);
    configure_torch_runtime(options.threads);
    const std::filesystem::path path = find_voice_model_path();
    if (!std::filesystem::exists(path)) {
        throw ModelNotFound("Encrypted model not found: " + path_to_utf8(path));
    }
    return open_voice_model(path_to_utf8(path));
}

}  // namespace

Engine::Engine(EngineOptions options)
    : options_(std::move(options)), voice_(load_voice(options_)) {
    SymbolMap::instance();
}

Engine::Engine(EngineOptions options, std::unique_ptr<VoiceModel> voice)
    : options_(std::move(options)), voice_(std::move(voice)) {}

Engine::~Engine() = default;

TextStepsOptions Engine::options_for_call(
    std::shared_ptr<const UserDictionary>& dictionary) const {
    const bool follows = options_.homographs == StageMode::FollowSettings ||
                         options_.stress == StageMode::FollowSettings ||
                         options_.reading == StageMode::FollowSettings;
    // Only an engine that follows the settings file reads it; switched off
    // there, the stages give back their memory as they always have.
    const RuntimeSettings file = follows ? settings_for_synthesis() : RuntimeSettings{};
    // The user's readings of words hold for every engine of the user.
    dictionary = SettingsStore::instance().dictionary();
    TextStepsOptions options;
    options.settings = {decide(options_.stress, file.enable_accentor),
                        decide(options_.homographs, file.enable_homosolver),
                        decide(options_.reading, file.enable_reading)};
    options.dictionary = dictionary.get();
    options.log = options_.log;
    return options;
}

bool Engine::synthesize(const SynthesisRequest& request, AudioSink on_audio,
                        UnmappedCharsSink on_unmapped,
                        std::vector<WordTimestamp>* word_timestamps,
                        std::vector<WordSpan>* word_spans, ChunkSink on_chunk) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (request.speaker_index < 0 || request.speaker_index >= kSpeakerCount) return false;
    // Each call has its own number, so that a cancel meant for one call
    // never reaches the next.
    const std::uint64_t call = ++calls_;
    running_.store(call);
    struct Finished {
        std::atomic<std::uint64_t>& running;
        ~Finished() { running.store(0); }
    } finished{running_};
    const ModelsRootScope scope(options_.models_root);
    std::shared_ptr<const UserDictionary> dictionary;
    const TextStepsOptions options = options_for_call(dictionary);
    SynthesisHooks hooks;
    hooks.should_stop = [this, call] { return cancelled_.load() == call; };
    hooks.on_chunk = std::move(on_chunk);
    return zelvan_tts::synthesize(*voice_, request, options, std::move(on_audio),
                                  std::move(on_unmapped), word_timestamps, word_spans, hooks);
}

void Engine::cancel() {
    const std::uint64_t call = running_.load();
    // Numbers only grow: a cancel that read an older call must not undo
    // one of a newer call that came in between.
    std::uint64_t latest = cancelled_.load();
    while (latest < call && !cancelled_.compare_exchange_weak(latest, call)) {
    }
}

ProcessedText Engine::process_text(const std::string& text, int speaker_index) {
    if (speaker_index < 0 || speaker_index >= kSpeakerCount) {
        throw std::out_of_range("Voice index outside 0..59");
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    const ModelsRootScope scope(options_.models_root);
    std::shared_ptr<const UserDictionary> dictionary;
    const TextStepsOptions options = options_for_call(dictionary);
    return zelvan_tts::process_text(text, speakers[static_cast<std::size_t>(speaker_index)].lang,
                                    options);
}

}  // namespace zelvan_tts
