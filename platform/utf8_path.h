// Paths travel through the engine as UTF-8 and become native paths only at
// file-system calls.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zelvan_tts {

std::filesystem::path path_from_utf8(std::string_view utf8);
std::string path_to_utf8(const std::filesystem::path& path);

}  // namespace zelvan_tts
