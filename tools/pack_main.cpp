// zelvan_tts_pack [--gzip] INPUT OUTPUT
// Encrypts INPUT with the program key into the data-file format at OUTPUT.
#include "platform/utf8_path.h"
#include "core/data_file_writer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage = "usage: zelvan_tts_pack [--gzip] INPUT OUTPUT";

int fail(const std::string& message) {
    std::cerr << "zelvan_tts_pack: " << message << "\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool gzip = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--gzip") {
            gzip = true;
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage << "\n";
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option " + arg + " (" + kUsage + ")");
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return fail(kUsage);
    const std::string& input = files[0];
    const std::string& output = files[1];

    std::error_code ec;
    if (std::filesystem::is_directory(zelvan_tts::path_from_utf8(input), ec)) {
        return fail("cannot read " + input + ": is a directory");
    }
    std::ifstream in(zelvan_tts::path_from_utf8(input), std::ios::binary);
    if (!in) return fail("cannot read " + input + ": " + std::strerror(errno));
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return fail("cannot read " + input + ": read error");

    try {
        zelvan_tts::write_data_file(output, std::move(buffer).str(), gzip);
    } catch (const std::exception& e) {
        return fail("cannot write " + output + ": " + e.what());
    }
    return 0;
}
