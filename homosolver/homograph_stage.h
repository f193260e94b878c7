// The homograph stage of the synthesis pipeline: one process-wide
// HomoSolver, created and loaded by the first Russian text that needs it and
// released when the stage is switched off. No LibTorch here.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace zelvan_tts {

class HomoSolver;

// The process-wide instance of the current models root, created and
// initialised under the registry's lock on first use, initialised or not
// (the caller checks `initialized`). A failed initialisation is not retried
// until release_homosolver. When initialisation throws, nothing is kept and
// the exception propagates.
std::shared_ptr<HomoSolver> get_homosolver();

// Forgets every instance; each goes as soon as no caller uses it.
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
