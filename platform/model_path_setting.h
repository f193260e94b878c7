// The installation's models root, set by the installer (the registry value
// ModelPath on Windows, the environment variable ZELVAN_TTS_MODEL_PATH here).
#pragma once

#include <optional>
#include <string>

namespace zelvan_tts {

// The models root as UTF-8, or nullopt when it is not set. An empty value is
// an empty path, not an absent one. Read afresh on every call.
std::optional<std::string> read_model_path_setting();

}  // namespace zelvan_tts
