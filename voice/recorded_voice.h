// The recorded voice as a voice model: the TorchScript source
// voice/recorded_voice.torchscript with the inventory, the reading tables
// and the 60 speakers as its attributes. LibTorch types are only declared
// here.
#pragma once

#include <string>

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts::voice {

struct VoiceInventory;
struct StressGuess;

// The source as LibTorch compiles it: every quoted Cyrillic letter ('т')
// replaced by its symbol id and every PH_ token by its phone's id. Throws
// std::runtime_error for a PH_ token naming no phone.
std::string expand_voice_source(const std::string& source);

// Builds the module and learns its prosody trees from the inventory's
// sentences; `summary`, when given, receives one line on what was learnt.
// Throws what LibTorch throws on a bad source, std::runtime_error when the
// sentences cannot be learnt from.
torch::jit::Module recorded_voice_module(const std::string& source, const VoiceInventory& inventory,
                                         const StressGuess& stress, std::string* summary = nullptr);

// Reads the source, the inventory and the lexicon of `corpus_dir`, and
// writes the module packed with the program key. Throws std::runtime_error
// when an input cannot be read.
void write_recorded_voice(const std::string& source_path, const std::string& inventory_path,
                          const std::string& corpus_dir, const std::string& out_path);

}  // namespace zelvan_tts::voice
