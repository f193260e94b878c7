// zelvan_tts_bench_model OUTPUT
// Writes the realistic-cost voice model used by the benchmarks.
#include "tools/bench_voice_model.h"

#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: zelvan_tts_bench_model OUTPUT\n";
        return 1;
    }
    try {
        const auto count = zelvan_tts::bench_models::write_bench_voice_model(argv[1]);
        std::cout << argv[1] << ": " << count << " parameters\n";
    } catch (const std::exception& e) {
        std::cerr << "zelvan_tts_bench_model: cannot write " << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
