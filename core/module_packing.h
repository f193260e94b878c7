// Packing TorchScript modules made in C++ with torch::jit::Module::define
// (the recorded voice, the demo models, the tests' models) as data files.
// Includes LibTorch: use it only where a module is built.
#pragma once

#include <torch/script.h>

#include <string>

namespace zelvan_tts {

// The serialised archive of `module` (what torch::jit::load reads).
std::string module_archive(const torch::jit::Module& module);

// Writes `module` as an encrypted data file at `path` (UTF-8).
void pack_module(const torch::jit::Module& module, const std::string& path);

}  // namespace zelvan_tts
