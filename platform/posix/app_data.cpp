#include "platform/app_data.h"

#include <cstdlib>

namespace zelvan_tts {

std::optional<std::filesystem::path> app_data_dir() {
    // An empty variable counts as unset, as the XDG base directories say.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] != '\0') return std::filesystem::path(config);
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return std::filesystem::path(home) / ".config";
    return std::nullopt;
}

}  // namespace zelvan_tts
