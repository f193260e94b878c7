#include "engine/engine.h"

#include "accentor/accentor.h"
#include "accentor/accentor_stage.h"
#include "accentor/stress_marks.h"
#include "engine/model_constants.h"
#include "core/search_paths.h"
#include "engine/voice_model.h"
#include "homosolver/homograph_stage.h"
#include "homosolver/homosolver.h"
#include "platform/debug_output.h"
#include "shared/symbols/languages.h"
#include "platform/utf8_path.h"

#include <filesystem>

namespace zelvan_tts {

namespace {

bool decide(StageMode mode, bool setting) {
    return mode == StageMode::On || (mode == StageMode::FollowSettings && setting);
}

std::string voice_model_path(const EngineOptions& options) {
    const ModelsRootScope scope(options.models_root);
    return path_to_utf8(find_voice_model_path());
}

std::unique_ptr<VoiceModel> load_voice(const EngineOptions& options, const std::string& path) {
    configure_torch_runtime(options.threads);
    if (!std::filesystem::exists(path_from_utf8(path))) {
        throw ModelNotFound("Encrypted model not found: " + path);
    }
    return open_voice_model(path);
}

// The dictionary of an engine that does not follow the settings. A file
// that is not there is the caller's mistake; lines it cannot read are
// skipped, as in dictionary.txt.
std::shared_ptr<const UserDictionary> own_dictionary(const EngineOptions& options) {
    if (options.dictionary != DictionaryMode::File) return nullptr;
    const std::filesystem::path path = path_from_utf8(options.dictionary_file);
    std::error_code ec;
    if (options.dictionary_file.empty() || !std::filesystem::is_regular_file(path, ec)) {
        throw std::invalid_argument("Dictionary not found: " + options.dictionary_file);
    }
    return std::make_shared<const UserDictionary>(UserDictionary::load(path));
}

// The stress languages a report lists, in the order of the models' folders.
constexpr const char* kStressLanguages[] = {"ru", "by", "ua"};

}  // namespace

Engine::Engine(EngineOptions options)
    : options_(std::move(options)),
      own_dictionary_(own_dictionary(options_)),
      voice_path_(voice_model_path(options_)),
      voice_(load_voice(options_, voice_path_)) {
    SymbolMap::instance();
}

Engine::Engine(EngineOptions options, std::unique_ptr<VoiceModel> voice)
    : options_(std::move(options)),
      own_dictionary_(own_dictionary(options_)),
      voice_(std::move(voice)) {}

Engine::~Engine() = default;

TextStepsOptions Engine::options_for_call(
    std::shared_ptr<const UserDictionary>& dictionary) const {
    const bool follows = options_.homographs == StageMode::FollowSettings ||
                         options_.stress == StageMode::FollowSettings ||
                         options_.reading == StageMode::FollowSettings;
    // Only an engine that follows the settings file reads it; switched off
    // there, the stages give back their memory as they always have.
    const RuntimeSettings file = follows ? settings_for_synthesis() : RuntimeSettings{};
    // The user's readings of words hold for every engine of the user that
    // follows the settings.
    dictionary = options_.dictionary == DictionaryMode::FollowSettings
                     ? SettingsStore::instance().dictionary()
                     : own_dictionary_;
    TextStepsOptions options;
    options.settings = {decide(options_.stress, file.enable_accentor),
                        decide(options_.homographs, file.enable_homosolver),
                        decide(options_.reading, file.enable_reading)};
    options.dictionary = dictionary.get();
    options.log = options_.log;
    return options;
}

void Engine::report(const std::string& problem) {
    if (problem.empty() || !reported_.insert(problem).second) return;
    if (options_.problems) {
        options_.problems(problem);
    } else if (options_.log) {
        options_.log(problem);
    } else {
        debug_output(problem + "\n");
    }
}

void Engine::report_stage_problems(const std::string& lang, const RuntimeSettings& settings) {
    // The stages load here exactly as the text steps would load them next;
    // they never throw outward, and neither does this.
    try {
        const std::string code = accentor_language(lang);
        if (settings.enable_accentor && !code.empty()) report(get_accentor(code)->problem);
        if (settings.enable_homosolver && language_profile(lang).homographs)
            report(get_homosolver()->problem);
    } catch (const std::exception& e) {
        report(std::string("Optional stage failed: ") + e.what());
    }
}

std::vector<std::string> Engine::loaded_report() {
    const std::lock_guard<std::mutex> lock(mutex_);
    const ModelsRootScope scope(options_.models_root);
    std::shared_ptr<const UserDictionary> dictionary;
    const TextStepsOptions options = options_for_call(dictionary);
    std::vector<std::string> lines{"voice model: " +
                                   (voice_path_.empty() ? "given by the program" : voice_path_)};
    const auto stage_line = [](const std::string& name, bool initialized,
                               const std::string& loaded, const std::string& problem) {
        return name + ": " + (initialized ? loaded : problem.empty() ? "not loaded" : problem);
    };
    for (const char* code : kStressLanguages) {
        const std::string name = std::string("stress ") + code;
        if (!options.settings.enable_accentor) {
            lines.push_back(name + ": off");
            continue;
        }
        try {
            const std::shared_ptr<Accentor> a = get_accentor(code);
            lines.push_back(stage_line(name, a->initialized, a->model_path, a->problem));
        } catch (const std::exception& e) {
            lines.push_back(name + ": " + e.what());
        }
    }
    if (!options.settings.enable_homosolver) {
        lines.push_back("homographs: off");
    } else {
        try {
            const std::shared_ptr<HomoSolver> h = get_homosolver();
            lines.push_back(stage_line("homographs", h->initialized, h->model_dir, h->problem));
        } catch (const std::exception& e) {
            lines.push_back(std::string("homographs: ") + e.what());
        }
    }
    return lines;
}

bool Engine::synthesize(const SynthesisRequest& request, AudioSink on_audio,
                        UnmappedCharsSink on_unmapped,
                        std::vector<WordTimestamp>* word_timestamps,
                        std::vector<WordSpan>* word_spans, ChunkSink on_chunk,
                        StopCheck should_stop) {
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
    report_stage_problems(speakers[static_cast<std::size_t>(request.speaker_index)].lang,
                          options.settings);
    SynthesisHooks hooks;
    hooks.should_stop = [this, call, &should_stop] {
        return cancelled_.load() == call || (should_stop && should_stop());
    };
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
    report_stage_problems(speakers[static_cast<std::size_t>(speaker_index)].lang,
                          options.settings);
    return zelvan_tts::process_text(text, speakers[static_cast<std::size_t>(speaker_index)].lang,
                                    options);
}

}  // namespace zelvan_tts
