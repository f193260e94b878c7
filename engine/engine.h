// The engine as every program uses it: the voice model loaded once, the
// optional stages as the caller asks for them, the whole text path behind
// one call. The C interface of libzelvan_tts wraps this class; the server,
// the voice engine and `zelvan_tts text` use it directly.
#pragma once

#include "engine/pipeline.h"
#include "engine/text_stages.h"
#include "engine/voice.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelvan_tts {

// How an optional text stage runs for an engine.
enum class StageMode {
    FollowSettings,  // as the settings file says, re-read on its change signal
    On,
    Off,
};

// Which user dictionary an engine reads.
enum class DictionaryMode {
    FollowSettings,  // dictionary.txt beside the settings, re-read when it changes
    File,            // the file `EngineOptions::dictionary_file`, read once at open
    Off,             // none
};

struct EngineOptions {
    std::string models_root;  // UTF-8; empty: the installation's search
    int threads = 0;          // the voice model's threads; 0: the default
    StageMode homographs = StageMode::FollowSettings;
    StageMode stress = StageMode::FollowSettings;
    StageMode reading = StageMode::FollowSettings;  // written forms read in full
    DictionaryMode dictionary = DictionaryMode::FollowSettings;
    std::string dictionary_file;  // UTF-8; DictionaryMode::File only
    LogSink log;  // the text steps' diagnostic lines; empty: the debugger output
    // A stage model that is missing while its stage is on, or that fails to
    // load: one line each (the path and the reason), once per engine, when
    // a synthesis or a text preview first needs it. Empty: `log`, else the
    // debugger output. Speech goes on without the stage either way.
    LogSink problems;
};

// No voice model where the engine looked: "Encrypted model not found: <path>".
class ModelNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Engine {
public:
    // Loads the voice model. Throws ModelNotFound, or what loading throws
    // (one line with the path and the reason: load_voice_model).
    explicit Engine(EngineOptions options);
    // An engine around a voice of the caller's.
    Engine(EngineOptions options, std::unique_ptr<VoiceModel> voice);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // One synthesis (see synthesize in engine/pipeline.h); calls on one
    // engine run one at a time. False also when cancel() stopped it, or
    // `should_stop` said so (asked where a cancel is).
    bool synthesize(const SynthesisRequest& request, AudioSink on_audio,
                    UnmappedCharsSink on_unmapped, std::vector<WordTimestamp>* word_timestamps,
                    std::vector<WordSpan>* word_spans = nullptr, ChunkSink on_chunk = {},
                    StopCheck should_stop = {});

    // Stops the synthesis that runs now before its next model call or
    // delivery. Safe from any thread, callbacks included; with none running
    // it does nothing, and never stops a later call.
    void cancel();

    // What the text steps make of `text` for the voice `speaker_index`.
    // Throws std::out_of_range for a voice outside the table.
    ProcessedText process_text(const std::string& text, int speaker_index);

    // What the engine runs with, one line per model: "voice model: <path>",
    // then for each stage language "stress <lang>: <path>",
    // "homographs: <folder>", each "off" when switched off or the problem's
    // line when it did not load. Loads the stages that are on and not loaded.
    std::vector<std::string> loaded_report();

    const EngineOptions& options() const { return options_; }

private:
    // Reports each problem of the stages that a text of `lang` uses with
    // `settings` once (EngineOptions::problems).
    void report_stage_problems(const std::string& lang, const RuntimeSettings& settings);
    void report(const std::string& problem);

    // The call's options; `dictionary` keeps the dictionary they point at.
    TextStepsOptions options_for_call(std::shared_ptr<const UserDictionary>& dictionary) const;

    EngineOptions options_;
    // DictionaryMode::File: the file's dictionary; Off: null.
    std::shared_ptr<const UserDictionary> own_dictionary_;
    std::string voice_path_;
    std::unique_ptr<VoiceModel> voice_;
    std::mutex mutex_;
    std::set<std::string> reported_;  // problems told already
    std::uint64_t calls_ = 0;                 // syntheses begun; under mutex_
    std::atomic<std::uint64_t> running_{0};   // the running call's number, 0: none
    std::atomic<std::uint64_t> cancelled_{0}; // the latest call asked to stop
};

}  // namespace zelvan_tts
