// Turning the encrypted voice model file into a frozen TorchScript module.
// LibTorch types are only declared here, so that this header stays light.
#pragma once

#include <string>

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts {

// Process-wide LibTorch options: 4 intra-op threads and no profiling
// executor, so the first synthesis does not pay for profiling runs. Call
// once before the first load_voice_model.
void configure_torch_runtime();

// Decrypts and loads the model at `path` (UTF-8), then evaluation mode,
// freeze and optimize_for_inference. The plaintext lives only in memory.
// Throws std::runtime_error "Encrypted model not found: <path>" or
// "Failed to decrypt model: <path>"; LibTorch errors propagate as thrown.
torch::jit::Module load_voice_model(const std::string& path);

}  // namespace zelvan_tts
