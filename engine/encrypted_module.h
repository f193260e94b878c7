// TorchScript modules stored in encrypted data files (the voice model, the
// stress models, the homograph model).
#pragma once

#include <string>

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts {

// Decrypts the file at `path` (UTF-8) and loads the module straight from
// the decrypted bytes, without copying them into a stream or a file. False
// when the file cannot be read or decrypted; LibTorch's own errors (not an
// archive, unknown operators) propagate.
bool load_encrypted_module(const std::string& path, torch::jit::Module& module);

}  // namespace zelvan_tts
