#include "speechd/capi_engine.h"

#include "zelvan_tts.h"

#include <algorithm>
#include <cstdint>
#include <deque>

namespace zelvan_tts::speechd {

namespace {

// Audio and marks in order: a mark goes out once the audio before its
// sample has.
struct Delivery {
    struct Pending {
        std::uint64_t sample;
        std::string name;
    };
    const AudioSink& sink;
    const MarkSink& on_mark;
    std::deque<Pending> pending;
    std::uint64_t delivered = 0;

    bool marks_up_to(std::uint64_t sample) {
        while (!pending.empty() && pending.front().sample <= sample) {
            const std::string name = std::move(pending.front().name);
            pending.pop_front();
            if (!on_mark(name)) return false;
        }
        return true;
    }

    bool audio(const float* samples, std::size_t count) {
        while (count > 0) {
            if (!marks_up_to(delivered)) return false;
            std::size_t n = count;
            if (!pending.empty()) n = std::min<std::uint64_t>(n, pending.front().sample - delivered);
            if (!sink(samples, n)) return false;
            samples += n;
            count -= n;
            delivered += n;
        }
        return true;
    }
};

void append_escaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
}

std::string as_ssml(std::string_view text, const std::vector<TextMark>& marks) {
    std::string out = "<speak>";
    std::size_t at = 0;
    for (const TextMark& m : marks) {
        const std::size_t offset = std::min(std::max(m.offset, at), text.size());
        append_escaped(out, text.substr(at, offset - at));
        at = offset;
        out += "<mark name=\"";
        append_escaped(out, m.name);
        out += "\"/>";
    }
    append_escaped(out, text.substr(at));
    out += "</speak>";
    return out;
}

class CapiEngine : public SpeechEngine {
public:
    explicit CapiEngine(zelvan_tts_engine* engine) : engine_(engine) {}
    ~CapiEngine() override { zelvan_tts_engine_close(engine_); }

    SynthesisResult synthesize(std::string_view text, const std::vector<TextMark>& marks,
                               const SynthesisRequest& request, const AudioSink& sink,
                               const MarkSink& on_mark, std::string& error) override {
        zelvan_tts_request r = zelvan_tts_default_request();
        r.voice = request.voice;
        r.speed = request.speed;
        r.pitch = request.pitch;
        r.volume = request.volume;
        Delivery d{sink, on_mark, {}, 0};
        zelvan_tts_callbacks callbacks{};
        callbacks.audio = [](void* user, const float* samples, size_t count) -> int {
            return static_cast<Delivery*>(user)->audio(samples, count) ? 0 : 1;
        };
        callbacks.user_data = &d;
        zelvan_tts_status status;
        if (marks.empty()) {
            status = zelvan_tts_synthesize(engine_, text.data(), text.size(), &r, &callbacks);
        } else {
            // The library places marks among the words of one synthesis when
            // they come as SSML.
            const std::string ssml = as_ssml(text, marks);
            zelvan_tts_synthesis_options options = zelvan_tts_default_synthesis_options();
            options.input = ZELVAN_TTS_INPUT_SSML;
            options.event = [](void* user, const zelvan_tts_event* e) {
                if (e->type == ZELVAN_TTS_EVENT_MARK)
                    static_cast<Delivery*>(user)->pending.push_back({e->sample, e->text});
            };
            options.event_user_data = &d;
            status = zelvan_tts_synthesize_with_options(engine_, ssml.data(), ssml.size(), &r,
                                                        &callbacks, &options);
            if (status == ZELVAN_TTS_OK && !d.marks_up_to(UINT64_MAX))
                status = ZELVAN_TTS_CANCELLED;
        }
        if (status == ZELVAN_TTS_OK) return SynthesisResult::Done;
        if (status == ZELVAN_TTS_CANCELLED) return SynthesisResult::Stopped;
        error = zelvan_tts_last_error();
        return SynthesisResult::Failed;
    }

    std::vector<std::string> report() override {
        std::string text(zelvan_tts_engine_report(engine_, nullptr, 0) + 1, '\0');
        text.resize(zelvan_tts_engine_report(engine_, text.data(), text.size()));
        std::vector<std::string> lines;
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

private:
    zelvan_tts_engine* engine_;
};

}  // namespace

std::unique_ptr<SpeechEngine> open_capi_engine(const std::string& models_root,
                                               std::string& error) {
    zelvan_tts_engine_params params = zelvan_tts_default_params();
    params.models_root = models_root.empty() ? nullptr : models_root.c_str();
    zelvan_tts_engine* engine = nullptr;
    if (zelvan_tts_engine_open(&params, &engine) != ZELVAN_TTS_OK || engine == nullptr) {
        error = zelvan_tts_last_error();
        if (error.empty()) error = "the engine could not be opened";
        return nullptr;
    }
    return std::make_unique<CapiEngine>(engine);
}

std::vector<VoiceInfo> capi_voices() {
    std::vector<VoiceInfo> voices;
    const int count = zelvan_tts_voice_count();
    for (int i = 0; i < count; ++i) {
        zelvan_tts_voice v{};
        if (zelvan_tts_voice_info(i, &v) != ZELVAN_TTS_OK) break;
        voices.push_back({v.key, v.display_name, v.language});
    }
    return voices;
}

int capi_find_voice(const std::string& name) { return zelvan_tts_find_voice(name.c_str()); }

}  // namespace zelvan_tts::speechd
