// The TorchScript stress model's own side, for tests and benchmarks that
// look at the module itself. LibTorch types are only declared here.
#pragma once

#include "accentor/stress_model.h"

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts {

// The module behind a model from load_stress_model; null for any other model.
torch::jit::Module* stress_module(StressModel& model);

}  // namespace zelvan_tts
