#include "speechd/module_session.h"

#include "text/reading_modes.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <unistd.h>

namespace zelvan_tts::speechd {

namespace {

void log_error(const std::string& text) { std::fprintf(stderr, "sd_zelvan: %s\n", text.c_str()); }

double now_ms() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool write_all(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

ModuleSession::ModuleSession(std::vector<VoiceInfo> voices, EngineFactory open_engine,
                             int out_fd, int default_voice)
    : voices_(std::move(voices)),
      open_engine_(std::move(open_engine)),
      out_fd_(out_fd),
      default_voice_(default_voice) {
    // speech-dispatcher signals the module's main thread; the worker must not
    // take those signals.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    worker_ = std::thread([this] { work(); });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

ModuleSession::~ModuleSession() { quit(); }

void ModuleSession::quit() {
    live_id_ = 0;  // the sink stops the engine at its next block
    {
        std::lock_guard<std::mutex> lock(job_mutex_);
        quitting_ = true;
        job_.reset();
    }
    job_ready_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void ModuleSession::serve(LineReader& in) {
    std::string line;
    while (in.read_line(line))
        if (!handle(line, in)) break;
    quit();
}

bool ModuleSession::handle(const std::string& line, LineReader& in) {
    if (line == "SPEAK" || line == "CHAR" || line == "KEY" || line == "SOUND_ICON")
        return message(line, in);
    if (line == "STOP") {
        std::lock_guard<std::mutex> lock(out_mutex_);
        if (live_id_ != 0) {
            trace("STOP of message " + std::to_string(live_id_.load()));
            live_id_ = 0;
            write_all(out_fd_, "703 STOP\n");
        }
        return true;
    }
    if (line == "PAUSE") {
        if (live_id_ != 0) pause_requested_ = true;
        return true;
    }
    if (line == "SET") {
        settings(in, "203 OK RECEIVING SETTINGS\n", "203 OK SETTINGS RECEIVED\n", false);
        return true;
    }
    if (line == "AUDIO") {
        settings(in, "207 OK RECEIVING AUDIO SETTINGS\n", "203 OK AUDIO INITIALIZED\n", true);
        return true;
    }
    if (line == "LOGLEVEL") {
        send("207 OK RECEIVING LOGLEVEL SETTINGS\n");
        std::vector<std::string> body;
        if (!in.read_body(body)) return false;
        for (const auto& [name, value] : parse_settings(body)) {
            if (name == "log_level") tracing_ = std::atoi(value.c_str()) >= 4 || saved_stderr_ >= 0;
        }
        send("203 OK LOGLEVEL SET\n");
        return true;
    }
    if (line == "INIT") {
        std::string error;
        if (!engine_) engine_ = open_engine_(error);
        // The log says what the engine loaded: a stage model that is missing
        // or broken shows here (and once more when a text first needs it).
        if (engine_)
            for (const std::string& loaded : engine_->report()) log_error(loaded);
        if (engine_)
            send("299-Zelvan TTS: " + std::to_string(voices_.size()) +
                 " voices\n299 OK LOADED SUCCESSFULLY\n");
        else
            send("399-" + error + "\n399 ERR CANT INIT MODULE\n");
        return true;
    }
    if (line == "LIST VOICES") {
        std::string reply;
        for (const std::string& v : voice_list(voices_)) reply += "200-" + v + "\n";
        send(reply + "200 OK VOICE LIST SENT\n");
        return true;
    }
    if (starts_with(line, "DEBUG ON ") || line == "DEBUG OFF" || line == "DEBUG OFF ") {
        debug(line.size() > 9 ? line.substr(9) : std::string());
        return true;
    }
    if (line == "QUIT") {
        quit();
        send("210 OK QUIT\n");
        return false;
    }
    send("300 ERR UNKNOWN COMMAND\n");
    return true;
}

void ModuleSession::debug(std::string path) {
    while (!path.empty() && path.back() == ' ') path.pop_back();
    // The log is standard error: while debugging it goes to the file the
    // server names instead.
    if (path.empty()) {
        if (saved_stderr_ >= 0) {
            ::dup2(saved_stderr_, STDERR_FILENO);
            ::close(saved_stderr_);
            saved_stderr_ = -1;
        }
        tracing_ = false;
        send("200 OK DEBUGGING OFF\n");
        return;
    }
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (file < 0) {
        send("300 ERR CANNOT OPEN DEBUG FILE\n");
        return;
    }
    if (saved_stderr_ < 0) saved_stderr_ = ::dup(STDERR_FILENO);
    ::dup2(file, STDERR_FILENO);
    ::close(file);
    tracing_ = true;
    trace("debugging on: " + path);
    send("200 OK DEBUGGING ON\n");
}

void ModuleSession::settings(LineReader& in, const char* receiving, const char* received,
                             bool audio) {
    send(receiving);
    std::vector<std::string> body;
    if (!in.read_body(body)) return;
    std::string invalid;
    for (const auto& [name, value] : parse_settings(body)) {
        if (audio) {
            // Only the server can play what this module makes.
            if (name == "audio_output_method" && value.find("server") == std::string::npos)
                invalid += "300-audio goes through the server only, not " + value + "\n";
        } else if (!apply_setting(settings_, name, value)) {
            invalid += "303-invalid value: " + name + "=" + value + "\n";
        }
    }
    if (invalid.empty())
        send(received);
    else
        send(invalid + (audio ? "300 ERR UNSUPPORTED AUDIO OUTPUT\n" : "303 ERR INVALID VALUE\n"));
}

bool ModuleSession::message(const std::string& command, LineReader& in) {
    send("202 OK RECEIVING MESSAGE\n");
    std::vector<std::string> body;
    if (!in.read_body(body)) return false;
    if (live_id_ != 0) {
        send("301 ERR ALREADY SPEAKING\n");
        return true;
    }
    const std::string text = join_lines(body);
    if (command == "SOUND_ICON") {
        // The server owns the sound icons and plays them itself.
        std::lock_guard<std::mutex> lock(out_mutex_);
        write_all(out_fd_,
                  "200 OK SPEAKING\n701 BEGIN\n" + icon_event(text) + "702 END\n");
        return true;
    }
    if (!engine_) {
        std::string error;
        engine_ = open_engine_(error);
        if (!engine_) {
            send("401-" + error + "\n401 ERR NOT INITIALIZED\n");
            return true;
        }
    }
    Job job;
    const ReadingModes& modes = settings_.reading;
    const VoiceChoice choice = choose_voice(voices_, settings_, default_voice_);
    if (command == "CHAR")
        job.items = read_character(text, modes);
    else if (command == "KEY")
        job.items = read_key(text, modes);
    else {
        try {
            // The message's <voice> and xml:lang switches start from its voice.
            job.items = apply_reading_modes(parse_ssml(text, choice.voice), modes);
        } catch (const SsmlRefused& e) {
            // Said as nothing: the message ends at once.
            log_error(e.what());
        }
    }
    job.request.voice = choice.voice;
    job.request.speed = speed_factor(settings_.rate);
    job.request.pitch = pitch_factor(settings_.pitch) * choice.pitch;
    job.request.volume = volume_gain(settings_.volume);
    {
        std::lock_guard<std::mutex> lock(out_mutex_);
        job.id = ++last_id_;
        pause_requested_ = false;
        live_id_ = job.id;
        write_all(out_fd_, "200 OK SPEAKING\n701 BEGIN\n");
    }
    trace(command + " message " + std::to_string(job.id) + ": " + std::to_string(text.size()) +
          " bytes, voice " + std::to_string(job.request.voice) + ", " +
          std::to_string(job.items.size()) + " parts");
    {
        // A message stopped before the worker took it is replaced.
        std::lock_guard<std::mutex> lock(job_mutex_);
        job_ = std::move(job);
    }
    job_ready_.notify_one();
    return true;
}

void ModuleSession::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(job_mutex_);
            job_ready_.wait(lock, [this] { return quitting_ || job_.has_value(); });
            if (quitting_) return;
            job = std::move(*job_);
            job_.reset();
        }
        speak(job);
    }
}

void ModuleSession::speak(const Job& job) {
    samples_since_pause_ = 0;
    const float tone_gain = job.request.volume;
    const double started = now_ms();
    OutputAudio output;
    bool paused = false;
    // speech-dispatcher resumes a paused message after its own marks.
    const auto mark = [&](const std::string& name) {
        if (!send_for(job.id, index_mark_event(name))) return false;
        if (pause_requested_ && starts_with(name, "__spd_")) {
            paused = true;
            return false;
        }
        return true;
    };
    // Text runs of one reading and the marks among them: one synthesis, so
    // that marks never cut a sentence.
    bool first = true;
    const auto say = [&](const SpeechSegment& segment) {
        std::vector<TextMark> marks;
        for (const SpokenMark& m : segment.spoken.marks) marks.push_back({m.name, m.offset});
        if (segment.spoken.text.find_first_not_of(" \t\r\n") == std::string::npos) {
            for (const TextMark& m : marks)
                if (!mark(m.name)) {
                    if (paused) finish(job.id, "704 PAUSE\n");
                    return false;
                }
            return true;
        }
        SynthesisRequest request = job.request;
        if (segment.voice >= 0) request.voice = segment.voice;
        request.speed *= segment.prosody.rate;
        request.pitch *= segment.prosody.pitch;
        request.volume *= segment.prosody.volume;
        // The engine clips at full scale: it makes the voice at no more
        // than half of it, and the limiter gives the rest of the gain
        // without clipping.
        const float total = std::isfinite(request.volume) ? request.volume : 0.0f;
        request.volume = std::min(total, 0.5f);
        output.set_gain(request.volume > 0.0f ? total / request.volume : 1.0f);
        std::string error;
        const SynthesisResult result = engine_->synthesize(
            segment.spoken.text, marks, request,
            [&](const float* samples, std::size_t count) {
                if (first) {
                    first = false;
                    trace("message " + std::to_string(job.id) + ": first audio after " +
                          std::to_string(static_cast<int>(now_ms() - started)) + " ms");
                }
                return send_audio(job.id, output, samples, count);
            },
            mark, error);
        if (result == SynthesisResult::Failed) {
            log_error("synthesis failed: " + error);
            finish(job.id, "703 STOP\n");
            return false;
        }
        if (result == SynthesisResult::Stopped && !paused) {
            trace("message " + std::to_string(job.id) + ": engine stopped after " +
                  std::to_string(static_cast<int>(now_ms() - started)) + " ms");
        }
        if (paused) finish(job.id, "704 PAUSE\n");
        return result == SynthesisResult::Done;
    };
    for (const SpeechSegment& segment : speech_segments(job.items)) {
        if (!live(job.id)) return;
        switch (segment.kind) {
            case SpeechSegment::Kind::Speech:
                if (!say(segment)) return;
                break;
            case SpeechSegment::Kind::Pause: {
                const std::vector<float> silence(kAudioBlockSamples, 0.0f);
                std::size_t left = static_cast<std::size_t>(segment.pause_ms) * kSampleRate / 1000;
                output.set_gain(1.0f);
                while (left > 0) {
                    const std::size_t n = std::min(left, silence.size());
                    if (!send_audio(job.id, output, silence.data(), n)) return;
                    left -= n;
                }
                break;
            }
            case SpeechSegment::Kind::Tone: {
                const std::vector<float> tone =
                    capital_tone(kSampleRate, tone_gain * segment.prosody.volume);
                output.set_gain(1.0f);
                if (!send_audio(job.id, output, tone.data(), tone.size())) return;
                break;
            }
        }
    }
    trace("message " + std::to_string(job.id) + ": spoken in " +
          std::to_string(static_cast<int>(now_ms() - started)) + " ms");
    finish(job.id, "702 END\n");
}

bool ModuleSession::send_audio(std::uint64_t id, OutputAudio& output, const float* samples,
                               std::size_t count) {
    // Input samples of one block: the output has half the rate.
    constexpr std::size_t kStep = 2 * kOutputBlockSamples;
    std::vector<std::int16_t> pcm;
    for (std::size_t done = 0; done < count;) {
        if (!live(id)) return false;  // stopped: the rest is not even converted
        if (paused_here(id)) return false;
        const std::size_t n = std::min(count - done, kStep);
        pcm.clear();
        output.add(samples + done, n, pcm);
        if (!pcm.empty() && !send_for(id, audio_event(pcm.data(), pcm.size(), kOutputRate)))
            return false;
        if (pause_requested_) samples_since_pause_ += n;
        done += n;
    }
    return true;
}

void ModuleSession::trace(const std::string& line) const {
    if (!tracing_) return;
    std::fprintf(stderr, "sd_zelvan: %s\n", line.c_str());
    std::fflush(stderr);
}

bool ModuleSession::paused_here(std::uint64_t id) {
    // No pause point came soon enough: pause where the audio is; the server
    // repeats from the last mark, so nothing is lost.
    if (!pause_requested_ || samples_since_pause_ < kPauseGraceSamples) return false;
    finish(id, "704 PAUSE\n");
    return true;
}

void ModuleSession::send(const std::string& text) {
    std::lock_guard<std::mutex> lock(out_mutex_);
    write_all(out_fd_, text);
}

bool ModuleSession::send_for(std::uint64_t id, const std::string& text) {
    std::lock_guard<std::mutex> lock(out_mutex_);
    if (live_id_ != id) return false;
    return write_all(out_fd_, text);
}

void ModuleSession::finish(std::uint64_t id, const char* event) {
    std::lock_guard<std::mutex> lock(out_mutex_);
    if (live_id_ != id) return;
    live_id_ = 0;
    write_all(out_fd_, event);
}

}  // namespace zelvan_tts::speechd
