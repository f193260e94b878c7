// zelvan_demo_models: writes the demo models packed with the program key.
//   zelvan_demo_models voice SOURCE.torchscript OUT.bin
//   zelvan_demo_models homographs LIST.json OUT_DIR
//   zelvan_demo_models recorded-voice SOURCE.torchscript INVENTORY CORPUS_DIR OUT.bin
#include "demo/formant_voice.h"
#include "demo/homograph_demo.h"
#include "platform/utf8_path.h"
#include "voice/recorded_voice.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: zelvan_demo_models voice SOURCE.torchscript OUT.bin\n"
    "       zelvan_demo_models homographs LIST.json OUT_DIR\n"
    "       zelvan_demo_models recorded-voice SOURCE.torchscript INVENTORY CORPUS_DIR OUT.bin\n";

void make_parent(const std::string& path) {
    const std::filesystem::path parent = zelvan_tts::path_from_utf8(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string what = argv[1];
    try {
        if (what == "voice" && argc == 4) {
            make_parent(argv[3]);
            zelvan_tts::demo::write_formant_voice(argv[2], argv[3]);
            return 0;
        }
        if (what == "recorded-voice" && argc == 6) {
            make_parent(argv[5]);
            zelvan_tts::voice::write_recorded_voice(argv[2], argv[3], argv[4], argv[5]);
            return 0;
        }
        if (what == "homographs" && argc == 4) {
            zelvan_tts::demo::write_homograph_demo(argv[2], argv[3]);
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "zelvan_demo_models: " << e.what() << "\n";
        return 1;
    }
    std::cerr << kUsage;
    return 2;
}
