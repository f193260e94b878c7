// Peak memory and time of loading a voice model of realistic size.
//
//   model_load_bench [FLOATS]       packs a test model carrying FLOATS float32
//                                   weights (default 25M, about 100 MB) and
//                                   loads it in a fresh process
//   model_load_bench --load PATH    loads PATH and prints the measurements
//
// The load runs in a fresh process so that building the model does not
// count towards the peak.
#include "engine/voice_model.h"
#include "tools/test_models.h"

#include <torch/script.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long status_kib(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    }
    return -1;
}

int load(const std::string& path) {
    zelvan_tts::configure_torch_runtime();
    const long base_kib = status_kib("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    torch::jit::Module module = zelvan_tts::load_voice_model(path);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long after_kib = status_kib("VmRSS");
    const long peak_kib = status_kib("VmHWM");

    const double file_mb = std::filesystem::file_size(path) / 1e6;
    const double module_mb = (after_kib - base_kib) * 1024 / 1e6;
    const double peak_mb = (peak_kib - base_kib) * 1024 / 1e6;
    std::printf("file size            %8.1f MB\n", file_mb);
    std::printf("load time            %8.2f s (decrypt + load + freeze + optimize)\n", seconds);
    std::printf("loaded module        %8.1f MB resident\n", module_mb);
    std::printf("peak while loading   %8.1f MB above the start\n", peak_mb);
    std::printf("budget               %8.1f MB (2 x file + module)\n", 2 * file_mb + module_mb);
    return peak_mb <= 2 * file_mb + module_mb ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--load") return load(argv[2]);

    const long long floats = argc > 1 ? std::atoll(argv[1]) : 25'000'000;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("zelvan_load_bench_" + std::to_string(getpid()) + ".bin"))
                                 .string();
    zelvan_tts::test_models::write_voice_model(path, zelvan_tts::test_models::VoiceModelKind::Timed,
                                               floats);
    const std::string command = "'" + std::string(argv[0]) + "' --load '" + path + "'";
    const int status = std::system(command.c_str());
    std::filesystem::remove(path);
    return status == 0 ? 0 : 1;
}
