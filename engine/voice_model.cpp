#include "engine/voice_model.h"

#include "engine/encrypted_module.h"
#include "platform/utf8_path.h"

#include <ATen/Parallel.h>
#include <torch/script.h>

#include <filesystem>
#include <stdexcept>

namespace zelvan_tts {

void configure_torch_runtime() {
    at::set_num_threads(4);
    torch::jit::getProfilingMode() = false;
}

torch::jit::Module load_voice_model(const std::string& path) {
    if (!std::filesystem::exists(path_from_utf8(path))) {
        throw std::runtime_error("Encrypted model not found: " + path);
    }
    torch::jit::Module module;
    if (!load_encrypted_module(path, module)) {
        throw std::runtime_error("Failed to decrypt model: " + path);
    }
    module.eval();
    module = torch::jit::freeze(module);
    module = torch::jit::optimize_for_inference(module);
    return module;
}

}  // namespace zelvan_tts
