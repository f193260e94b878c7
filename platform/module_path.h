// The file of the running module: the program, or the shared library when
// this code is linked into one that another program loaded.
#pragma once

#include <filesystem>

namespace zelvan_tts {

// Absolute path of the program or library file that contains this code.
// Empty when the platform cannot tell.
std::filesystem::path running_module_file();

}  // namespace zelvan_tts
