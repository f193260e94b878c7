// Starting a program in the background, detached from the caller's console.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zelvan_tts {

// Starts `program` with `args` in a session of its own, with standard input
// and output going nowhere; does not wait for it. False when it could not
// be started.
bool launch_detached(const std::filesystem::path& program, const std::vector<std::string>& args);

}  // namespace zelvan_tts
