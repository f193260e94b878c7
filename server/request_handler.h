// Serving one Synthesize message: validate, synthesise, stream the audio as
// it is made, let the client cancel between blocks, and finish with the word
// times or an error.
#pragma once

#include <cstdint>
#include <vector>

namespace zelvan_tts {

class Engine;
class PipeConnection;
struct ServerState;

// Everything the handler has to say goes to the client as messages.
void handle_synth(PipeConnection& pipe, const std::vector<std::uint8_t>& payload,
                  Engine& engine, ServerState& state);

}  // namespace zelvan_tts
