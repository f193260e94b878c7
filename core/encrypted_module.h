// TorchScript modules stored in encrypted data files (the voice model, the
// stress models, the homograph model), and what loading them takes.
#pragma once

#include <exception>
#include <string>

namespace at {
class Tensor;
}  // namespace at

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts {

// Decrypts the file at `path` (UTF-8) and loads the module straight from
// the decrypted bytes, without copying them into a stream or a file. False
// when the file cannot be read or decrypted; LibTorch's own errors (not an
// archive, unknown operators) propagate.
bool load_encrypted_module(const std::string& path, torch::jit::Module& module);

// load_encrypted_module whose every failure is a std::runtime_error of one
// line with the path and the reason, never LibTorch's backtrace:
//   "Encrypted model not found: <path>"
//   "Failed to decrypt model: <path> (truncated)", or "(wrong key or not a
//   data file)", see data_file_problem
//   "Model file is truncated or damaged: <path> (<LibTorch's reason>)"
//   "Model file is not a TorchScript archive: <path> (<LibTorch's reason>)"
void load_encrypted_module_explained(const std::string& path, torch::jit::Module& module);

// The first line of an exception's message, without the backtrace that
// LibTorch's errors carry, at most 200 bytes.
std::string error_line(const std::exception& error);

// An embedding table stored quantised as W holds S * (W - Z): the "weight"
// parameter of `table` becomes scale * (weight - zero_point), in place, so
// that the model's code reads the restored values. On any failure the table
// stays as loaded.
void restore_quantised_weight(torch::jit::Module& table, const at::Tensor& scale,
                              const at::Tensor& zero_point) noexcept;

}  // namespace zelvan_tts
