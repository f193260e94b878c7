#include "platform/model_path_setting.h"

#include <cstdlib>

namespace zelvan_tts {

std::optional<std::string> read_model_path_setting() {
    const char* value = std::getenv("ZELVAN_TTS_MODEL_PATH");
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace zelvan_tts
