// The demo voice: a formant synthesizer whose TorchScript source lives in
// demo/formant_voice.torchscript. This builder supplies its tables (one row
// of acoustic targets per symbol id, one row of pitch and vocal-tract scale
// per speaker) and turns source and tables into a module. LibTorch types are
// only declared here.
#pragma once

#include <string>

namespace torch::jit {
struct Module;
}  // namespace torch::jit

namespace zelvan_tts::demo {

// One speaker of the demo voice.
struct DemoSpeaker {
    float pitch_hz;     // base pitch, about 85..260 Hz
    float tract_scale;  // factor on every formant, about 0.9..1.15
};

// Row `speaker_id` (0..59) of the fixed speaker table.
DemoSpeaker demo_speaker(int speaker_id);

// Formant targets F1, F2, F3 (Hz, before the speaker's tract scale) of the
// sound a symbol id stands for at its end (vowels: their steady state).
struct FormantTargets {
    float f1;
    float f2;
    float f3;
};
FormantTargets symbol_formants(int symbol_id);

// Duration in seconds the voice gives an unstressed symbol id.
float symbol_duration(int symbol_id);

// The voice as a module: `source` is the TorchScript text of
// formant_voice.torchscript. Throws what LibTorch throws on a bad source.
torch::jit::Module formant_voice_module(const std::string& source);

// Reads the source file, builds the module and writes it packed with the
// program key to `out_path`. Throws std::runtime_error when the source
// cannot be read.
void write_formant_voice(const std::string& source_path, const std::string& out_path);

}  // namespace zelvan_tts::demo
