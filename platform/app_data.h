// The user's roaming application-data folder, where per-user settings live.
#pragma once

#include <filesystem>
#include <optional>

namespace zelvan_tts {

// The folder, or nullopt when the platform cannot tell. Read afresh on
// every call.
std::optional<std::filesystem::path> app_data_dir();

}  // namespace zelvan_tts
