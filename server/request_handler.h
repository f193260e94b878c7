// Serving one Synthesize message: validate, synthesise, stream the audio as
// it is made, let the client cancel between blocks, and finish with the word
// times or an error.
#pragma once

#include <cstdint>
#include <vector>

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts {

class PipeConnection;
struct ServerState;

// Everything the handler has to say goes to the client as messages.
void handle_synth(PipeConnection& pipe, const std::vector<std::uint8_t>& payload,
                  torch::jit::Module& model, ServerState& state);

}  // namespace zelvan_tts
