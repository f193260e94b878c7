// The engine library behind the module's engine interface: one engine
// opened through the C API and kept for the module's life.
#pragma once

#include "speechd/speech_engine.h"
#include "speechd/voice_settings.h"

#include <memory>
#include <string>
#include <vector>

namespace zelvan_tts::speechd {

// Opens the engine with its voice model; `models_root` empty means the
// library's usual search. Null with `error` set when it cannot.
std::unique_ptr<SpeechEngine> open_capi_engine(const std::string& models_root, std::string& error);

// The library's voice table.
std::vector<VoiceInfo> capi_voices();

// The number of the voice a key or name designates; -1 when none does.
int capi_find_voice(const std::string& name);

}  // namespace zelvan_tts::speechd
