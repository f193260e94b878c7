#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zelvan_tts::fuzz {

namespace {

std::string* made_dir = nullptr;

void remove_scratch_dir() {
    std::error_code ignored;
    if (made_dir) std::filesystem::remove_all(*made_dir, ignored);
}

}  // namespace

const std::string& scratch_dir() {
    static const std::string dir = [] {
        const auto path =
            std::filesystem::temp_directory_path() / ("zelvan_fuzz_" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        made_dir = new std::string(path.string());
        std::atexit(remove_scratch_dir);
        return path.string();
    }();
    return dir;
}

}  // namespace zelvan_tts::fuzz
