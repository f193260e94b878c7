// One output module's life: it answers speech-dispatcher's requests on one
// thread and speaks on another, so that STOP and PAUSE are read while a
// message is being synthesised. Audio goes back to the server as it is made.
#pragma once

#include "speechd/module_protocol.h"
#include "speechd/output_audio.h"
#include "speechd/speech_engine.h"
#include "text/ssml.h"
#include "speechd/voice_settings.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zelvan_tts::speechd {

// Opens the engine when INIT asks for it; null with `error` set on failure.
using EngineFactory = std::function<std::unique_ptr<SpeechEngine>(std::string& error)>;

// Samples of silence made at a time for a break (a quarter of a second of
// the engine's rate); they go out in blocks of kOutputBlockSamples.
inline constexpr std::size_t kAudioBlockSamples = kSampleRate / 4;
// Audio that may still go out after a PAUSE while no pause point (an
// index mark of speech-dispatcher's) comes: five seconds.
inline constexpr std::size_t kPauseGraceSamples = 5 * kSampleRate;

class ModuleSession {
public:
    // Writes replies and events to `out_fd`; the engine is opened by INIT.
    ModuleSession(std::vector<VoiceInfo> voices, EngineFactory open_engine, int out_fd,
                  int default_voice);
    ~ModuleSession();
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

    // Answers requests until QUIT or the end of the input.
    void serve(LineReader& in);

private:
    struct Job {
        std::uint64_t id = 0;
        std::vector<SpeechItem> items;
        SynthesisRequest request;
    };

    // False once the input has ended.
    bool handle(const std::string& line, LineReader& in);
    bool message(const std::string& command, LineReader& in);
    void settings(LineReader& in, const char* receiving, const char* received, bool audio);
    // DEBUG ON <file> / DEBUG OFF: the log goes to that file, or back.
    void debug(std::string path);
    void quit();

    void work();
    void speak(const Job& job);
    // Sends samples of the message `id` (at the engine's rate) through
    // `output` in AUDIO events; false when the message is no longer being
    // spoken.
    bool send_audio(std::uint64_t id, OutputAudio& output, const float* samples,
                    std::size_t count);
    // A line of the log, while speech-dispatcher has debugging on.
    void trace(const std::string& line) const;
    bool paused_here(std::uint64_t id);

    void send(const std::string& text);
    // Sends `text` only while message `id` is being spoken.
    bool send_for(std::uint64_t id, const std::string& text);
    // Ends message `id` with its last event, unless a STOP ended it first.
    void finish(std::uint64_t id, const char* event);
    bool live(std::uint64_t id) const { return live_id_.load() == id; }

    const std::vector<VoiceInfo> voices_;
    EngineFactory open_engine_;
    std::unique_ptr<SpeechEngine> engine_;
    const int out_fd_;
    const int default_voice_;
    VoiceSettings settings_;
    int saved_stderr_ = -1;  // the log's own descriptor while debugging
    std::atomic<bool> tracing_{false};  // DEBUG ON, or LOGLEVEL 4 and up

    // Replies and events are written whole, one at a time; a message's
    // events go out only while it is live.
    std::mutex out_mutex_;
    std::atomic<std::uint64_t> live_id_{0};
    std::uint64_t last_id_ = 0;
    std::atomic<bool> pause_requested_{false};
    std::size_t samples_since_pause_ = 0;  // worker thread only

    std::mutex job_mutex_;
    std::condition_variable job_ready_;
    std::optional<Job> job_;
    bool quitting_ = false;
    std::thread worker_;
};

}  // namespace zelvan_tts::speechd
