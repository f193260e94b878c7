// Runs the zelvan_tts program for the client tests.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zelvan_tts {

struct Output {
    int exit_code;
    std::string out;
    std::string err;
};

// Runs the zelvan_tts program with the arguments (a shell fragment) and the
// given standard input.
inline Output zelvan_tts(const std::string& args, const std::string& input = "") {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string tag = std::to_string(getpid());
    const auto in_file = dir / ("zelvan_in_" + tag), out_file = dir / ("zelvan_out_" + tag),
               err_file = dir / ("zelvan_err_" + tag);
    std::ofstream(in_file, std::ios::binary) << input;
    const std::string command = std::string(ZELVAN_TTS_PROGRAM) + " " + args + " <" +
                                in_file.string() + " >" + out_file.string() + " 2>" +
                                err_file.string();
    const int status = std::system(command.c_str());
    const auto slurp = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        std::filesystem::remove(p);
        return s.str();
    };
    std::filesystem::remove(in_file);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out_file), slurp(err_file)};
}

}  // namespace zelvan_tts
