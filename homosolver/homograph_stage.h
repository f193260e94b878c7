// The homograph stage of the synthesis pipeline: one process-wide
// HomoSolver, created and loaded by the first Russian text that needs it and
// released when the stage is switched off. No LibTorch here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelvan_tts {

class HomoSolver;

// The process-wide instance, created and initialised under the slot's mutex
// on first use, initialised or not (the caller checks `initialized`). A
// failed initialisation is not retried until release_homosolver. When
// initialisation throws, the slot stays empty and the exception propagates.
HomoSolver& get_homosolver();

// Destroys the instance, if any, and empties the slot. Must not run while
// another thread is inside apply_homosolver.
void release_homosolver();

// `text` with its Russian homographs resolved when `language` is "rus" and
// the resources are loaded; otherwise, and on any failure, `text` itself.
std::string apply_homosolver(const std::string& text, const std::string& language);

// The bytes [begin, end) of `text` with their homographs resolved, the text
// around them read as context only (HomoSolver::resolve); those bytes
// unchanged when apply_homosolver would give its input back.
std::string apply_homosolver(std::string_view text, std::size_t begin, std::size_t end,
                             const std::string& language);

}  // namespace zelvan_tts
