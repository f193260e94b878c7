#include "speechd/capi_engine.h"

#include "zelvan_tts.h"

#include <algorithm>

namespace zelvan_tts::speechd {

namespace {

class CapiEngine : public SpeechEngine {
public:
    explicit CapiEngine(zelvan_tts_engine* engine) : engine_(engine) {}
    ~CapiEngine() override { zelvan_tts_engine_close(engine_); }

    SynthesisResult synthesize(std::string_view text, const SynthesisRequest& request,
                               const AudioSink& sink, std::string& error) override {
        zelvan_tts_request r = zelvan_tts_default_request();
        r.voice = request.voice;
        r.speed = request.speed;
        r.pitch = request.pitch;
        r.volume = request.volume;
        zelvan_tts_callbacks callbacks{};
        callbacks.audio = [](void* user, const float* samples, size_t count) -> int {
            return (*static_cast<const AudioSink*>(user))(samples, count) ? 0 : 1;
        };
        callbacks.user_data = const_cast<AudioSink*>(&sink);
        const zelvan_tts_status status =
            zelvan_tts_synthesize(engine_, text.data(), text.size(), &r, &callbacks);
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
