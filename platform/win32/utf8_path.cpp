#include "platform/utf8_path.h"

#include "platform/win32/wide_text.h"

namespace zelvan_tts {

// Native paths are UTF-16 here.
std::filesystem::path path_from_utf8(std::string_view utf8) {
    return std::filesystem::path(widen(utf8));
}

std::string path_to_utf8(const std::filesystem::path& path) { return narrow(path.native()); }

}  // namespace zelvan_tts
