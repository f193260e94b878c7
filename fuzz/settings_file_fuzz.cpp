// The settings file reader on arbitrary file contents: it never fails and
// never throws, whatever the file holds.
#include "core/settings.h"
#include "fuzz/fuzz_support.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace zelvan_tts;

namespace {

std::string settings_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("XDG_CONFIG_HOME", fuzz::scratch_dir().c_str(), 1);
    settings_path = settings_file_path();
    std::filesystem::create_directories(std::filesystem::path(settings_path).parent_path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(settings_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    load_settings_file();
    return 0;
}
