#include "platform/module_path.h"

#include <dlfcn.h>
#include <link.h>

#include <system_error>

namespace zelvan_tts {

namespace {

// An address inside this module: a static function is linked into whichever
// program or library carries this code.
void anchor() {}

}  // namespace

std::filesystem::path running_module_file() {
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&anchor), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) != 0 &&
        map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0') {
        // A shared library: its name as the loader found it, made absolute.
        std::error_code ec;
        auto path = std::filesystem::canonical(map->l_name, ec);
        return ec ? std::filesystem::absolute(map->l_name, ec) : path;
    }
    // The main program has an empty name in the link map.
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : path;
}

}  // namespace zelvan_tts
