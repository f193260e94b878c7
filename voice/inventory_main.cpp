// zelvan_voice_inventory: analyses festvox-ru's training recordings and
// writes the recorded voice's inventory.
//   zelvan_voice_inventory [--corpus DIR] [--candidates N] OUT.inv
#include "voice/corpus.h"
#include "voice/unit_inventory.h"

#include <cmath>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    using namespace zelvan_tts::voice;
    std::string corpus = kDefaultCorpusDir, out;
    InventoryOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--corpus" && i + 1 < argc) {
            corpus = argv[++i];
        } else if (a == "--candidates" && i + 1 < argc) {
            options.candidates_per_pair = std::atoi(argv[++i]);
        } else if (out.empty() && a.rfind("--", 0) != 0) {
            out = a;
        } else {
            out.clear();
            break;
        }
    }
    if (out.empty()) {
        std::cerr << "usage: zelvan_voice_inventory [--corpus DIR] [--candidates N] OUT.inv\n";
        return 2;
    }
    options.progress = [](const std::string& s) {
        std::cerr << "zelvan_voice_inventory: " << s << "\n";
    };
    try {
        const VoiceInventory inv = build_inventory(corpus, options);
        const ProsodyFigures& p = inv.prosody;
        std::cerr << "zelvan_voice_inventory: pitch " << std::exp(p.log_f0_base)
                  << " Hz; melody (log, by fifths):";
        for (int t = 0; t < 2; ++t)
            for (int s = 0; s < 2; ++s) {
                std::cerr << (t ? " sentence" : " comma") << (s ? " stressed" : " unstressed");
                for (float v : p.melody[t][s]) std::cerr << " " << v;
                std::cerr << ";";
            }
        std::cerr << " pauses " << p.comma_pause << " / " << p.sentence_pause << " s\n";
        write_inventory(inv, out);
    } catch (const std::exception& e) {
        std::cerr << "zelvan_voice_inventory: " << e.what() << "\n";
        if (corpus == kDefaultCorpusDir)
            std::cerr
                << "zelvan_voice_inventory: the recordings come with the Debian package festvox-ru "
                   "(scripts/install-deps installs it)\n";
        return 1;
    }
    return 0;
}
