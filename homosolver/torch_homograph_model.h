// The TorchScript homograph classifier's own side, for tests and benchmarks
// that call the module itself. LibTorch types are only declared here.
#pragma once

#include "homosolver/homograph_model.h"

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts {

// The module behind a model from load_homograph_model; null for any other.
torch::jit::Module* homograph_module(HomographModel& model);

}  // namespace zelvan_tts
