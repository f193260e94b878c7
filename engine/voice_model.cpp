#include "engine/voice_model.h"

#include "core/encrypted_module.h"
#include "platform/utf8_path.h"

#include <ATen/Parallel.h>
#include <torch/script.h>

#include <filesystem>
#include <stdexcept>

namespace zelvan_tts {

void configure_torch_runtime(int threads) {
    at::set_num_threads(threads > 0 ? threads : 4);
    torch::jit::getProfilingMode() = false;
}

torch::jit::Module load_voice_model(const std::string& path) {
    if (!std::filesystem::exists(path_from_utf8(path))) {
        throw std::runtime_error("Encrypted model not found: " + path);
    }
    torch::jit::Module module;
    load_encrypted_module_explained(path, module);
    try {
        module.eval();
        module = torch::jit::freeze(module);
        module = torch::jit::optimize_for_inference(module);
    } catch (const std::exception& e) {
        // An archive of something else than a voice: one line, no backtrace.
        throw std::runtime_error("Model file is not a voice model: " + path + " (" +
                                 error_line(e) + ")");
    }
    return module;
}

namespace {

class TorchVoiceModel : public VoiceModel {
public:
    explicit TorchVoiceModel(torch::jit::Module& module) : module_(module) {}
    explicit TorchVoiceModel(torch::jit::Module&& module)
        : owned_(std::make_unique<torch::jit::Module>(std::move(module))), module_(*owned_) {}

    VoiceOutput speak(const std::vector<std::int64_t>& ids, std::int64_t speaker) override {
        c10::InferenceMode inference;
        // The speaker tensor is made once for a run of chunks of one voice.
        if (!speaker_.defined() || speaker_id_ != speaker) {
            speaker_ = torch::tensor({speaker}, torch::kInt64);
            speaker_id_ = speaker;
        }
        const at::Tensor input =
            torch::tensor(ids, torch::kInt64).reshape({1, static_cast<std::int64_t>(ids.size())});
        const c10::IValue output = module_.forward({input, speaker_});

        VoiceOutput out;
        at::Tensor audio;
        if (output.isTuple()) {
            const auto& elements = output.toTupleRef().elements();
            audio = elements.at(0).toTensor();
            if (elements.size() >= 2) {
                const at::Tensor times = elements[1].toTensor().contiguous().to(torch::kFloat32);
                out.times.assign(times.data_ptr<float>(), times.data_ptr<float>() + times.numel());
                out.timed = true;
            }
        } else {
            audio = output.toTensor();
        }
        if (audio.scalar_type() != torch::kFloat32) {
            throw std::runtime_error("Voice model audio is not float32");
        }
        const at::Tensor flat = audio.contiguous().view({-1});
        out.audio.assign(flat.data_ptr<float>(), flat.data_ptr<float>() + flat.numel());
        return out;
    }

private:
    std::unique_ptr<torch::jit::Module> owned_;
    torch::jit::Module& module_;
    at::Tensor speaker_;
    std::int64_t speaker_id_ = -1;
};

}  // namespace

std::unique_ptr<VoiceModel> open_voice_model(const std::string& path) {
    return std::make_unique<TorchVoiceModel>(load_voice_model(path));
}

std::unique_ptr<VoiceModel> voice_model_of(torch::jit::Module& module) {
    return std::make_unique<TorchVoiceModel>(module);
}

bool synthesize_with_word_timestamps(torch::jit::Module& model, const SynthesisRequest& request,
                                     AudioSink on_audio, UnmappedCharsSink on_unmapped,
                                     std::vector<WordTimestamp>* word_timestamps,
                                     std::vector<WordSpan>* word_spans) {
    const std::unique_ptr<VoiceModel> voice = voice_model_of(model);
    return synthesize_with_word_timestamps(*voice, request, std::move(on_audio),
                                           std::move(on_unmapped), word_timestamps, word_spans);
}

}  // namespace zelvan_tts
