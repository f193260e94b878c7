// The TorchScript voice: turning the encrypted voice model file into a
// frozen module, and the module as the pipeline's VoiceModel. This header
// and its source are where the voice meets LibTorch; LibTorch types are only
// declared here, so that the header stays light.
#pragma once

#include "engine/pipeline.h"
#include "engine/voice.h"

#include <memory>
#include <string>
#include <vector>

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts {

// Process-wide LibTorch options: `threads` intra-op threads (0: 4) and no
// profiling executor, so the first synthesis does not pay for profiling
// runs. Call before the first load_voice_model.
void configure_torch_runtime(int threads = 0);

// Decrypts and loads the model at `path` (UTF-8), then evaluation mode,
// freeze and optimize_for_inference. The plaintext lives only in memory.
// Throws std::runtime_error "Encrypted model not found: <path>",
// "Failed to decrypt model: <path> (<reason>)" or another one-line message
// with the path and LibTorch's reason (load_encrypted_module_explained;
// "Model file is not a voice model: <path> (...)" when freezing fails).
torch::jit::Module load_voice_model(const std::string& path);

// load_voice_model as a VoiceModel that owns its module.
std::unique_ptr<VoiceModel> open_voice_model(const std::string& path);

// A VoiceModel that calls `module`, which must outlive it. Its output must
// be a float32 tensor, or a tuple of one and (optionally) the id times;
// anything else throws.
std::unique_ptr<VoiceModel> voice_model_of(torch::jit::Module& module);

// synthesize_with_word_timestamps with a module of the caller's, the
// settings read as every synthesis reads them.
bool synthesize_with_word_timestamps(torch::jit::Module& model, const SynthesisRequest& request,
                                     AudioSink on_audio, UnmappedCharsSink on_unmapped,
                                     std::vector<WordTimestamp>* word_timestamps,
                                     std::vector<WordSpan>* word_spans = nullptr);

}  // namespace zelvan_tts
