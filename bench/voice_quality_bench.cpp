// voice_quality_bench: how close the recorded voice comes to its speaker.
// Every held-out sentence of festvox-ru (never part of the voice) is read by
// the engine with the demo stages (numbers, homographs, stress) and the
// default Russian man's voice, and compared with the speaker's own recording
// by mel-cepstral distortion after DTW alignment; beside it the distance
// between two different sentences of the speaker, the formant demo voice and
// espeak-ng. Also the real-time factor of the voice on one core, and how
// often its reading rules name another phone than the recordings' labels.
//
//   voice_quality_bench [--voice FILE | --source SRC.torchscript --inventory INV]
//                       [--formant FILE] [--models ROOT] [--corpus DIR] [--limit N] [--tsv]
// The voices default to the build's: <bin>/../models (the recorded voice and
// the demo stages) and <bin>/../models-formant. --tsv prints every figure as
// one line "figure<TAB>value<TAB>unit<TAB>command" on stdout.
#include "core/encrypted_module.h"
#include "core/settings.h"
#include "engine/model_constants.h"
#include "engine/pipeline.h"
#include "engine/text_stages.h"
#include "engine/voice_model.h"
#include "tools/torchscript_packing.h"
#include "voice/corpus.h"
#include "voice/pitch_marks.h"
#include "voice/recorded_voice.h"
#include "voice/spectral_measures.h"
#include "voice/stress_guess.h"
#include "voice/unit_inventory.h"

#include <ATen/Parallel.h>
#include <torch/script.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numeric>
#include <sstream>

namespace {

using namespace zelvan_tts;
namespace fs = std::filesystem;
using Frames = std::vector<std::vector<float>>;

constexpr int kHop = 160;  // 10 ms at 16 kHz

// Mel-cepstra every 10 ms without the silence before and after the speech
// (frames more than 40 dB under the loudest).
Frames speech_frames(const std::vector<float>& x16) {
    Frames all = voice::mel_cepstrogram(x16, kHop);
    float loudest = -1e9f;
    for (const auto& f : all) loudest = std::max(loudest, f[0]);
    const float floor = loudest - 40.0f / 8.6859f;  // c0 is a natural log of amplitude
    std::size_t a = 0, b = all.size();
    while (a < b && all[a][0] < floor) ++a;
    while (b > a && all[b - 1][0] < floor) --b;
    return Frames(all.begin() + static_cast<long>(a), all.begin() + static_cast<long>(b));
}

// Mean mel-cepstral distortion in dB (c1..c24) along the best alignment,
// within a band of a fifth of the longer sequence around the diagonal.
double mcd(const Frames& a, const Frames& b) {
    const std::size_t n = a.size(), m = b.size();
    if (n == 0 || m == 0) return 1e9;
    const double k = 10.0 / std::log(10.0) * std::sqrt(2.0);
    const long band = static_cast<long>(std::max(n, m) / 5 + 10);
    const double inf = 1e30;
    std::vector<double> cost((n + 1) * (m + 1), inf);
    std::vector<int> steps((n + 1) * (m + 1), 0);
    cost[0] = 0;
    for (std::size_t i = 1; i <= n; ++i) {
        const long centre = static_cast<long>(static_cast<double>(i) * m / n);
        const std::size_t lo = static_cast<std::size_t>(std::max(1L, centre - band));
        const std::size_t hi =
            static_cast<std::size_t>(std::min(static_cast<long>(m), centre + band));
        for (std::size_t j = lo; j <= hi; ++j) {
            double d = 0;
            for (std::size_t c = 1; c < a[i - 1].size(); ++c) {
                const double e = a[i - 1][c] - b[j - 1][c];
                d += e * e;
            }
            d = k * std::sqrt(d);
            const std::size_t here = i * (m + 1) + j;
            const std::size_t from[3] = {here - m - 2, here - m - 1, here - 1};
            std::size_t best = from[0];
            for (std::size_t f : from)
                if (cost[f] < cost[best]) best = f;
            if (cost[best] >= inf) continue;
            cost[here] = cost[best] + d;
            steps[here] = steps[best] + 1;
        }
    }
    const std::size_t end = n * (m + 1) + m;
    return cost[end] >= inf ? 1e9 : cost[end] / steps[end];
}

// Phones the voice's reading rules give the text (after the demo stages)
// against the phones the recording is labelled with, pauses left out:
// edits per labelled phone.
std::pair<long, long> phone_errors(torch::jit::Module& raw, const voice::Utterance& u,
                                   const std::string& corpus) {
    const ProcessedText text = process_text(u.text, "rus", RuntimeSettings{});
    c10::List<std::int64_t> ids;
    for (std::int64_t id : encode_text(text.script, SymbolMap::instance())) ids.push_back(id);
    std::vector<std::int64_t> a, b;
    for (std::int64_t p : raw.run_method("transcribe", ids, std::int64_t{0}, true)
                              .toTuple()
                              ->elements()[0]
                              .toIntList())
        if (p != 0) a.push_back(p);
    for (const voice::PhoneLabel& l : voice::read_labels(corpus, u.name))
        if (l.phone != 0) b.push_back(l.phone);
    std::vector<long> row(b.size() + 1), next(b.size() + 1);
    std::iota(row.begin(), row.end(), 0L);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        next[0] = static_cast<long>(i);
        for (std::size_t j = 1; j <= b.size(); ++j)
            next[j] = std::min(
                {row[j] + 1, next[j - 1] + 1, row[j - 1] + (a[i - 1] != b[j - 1] ? 1 : 0)});
        std::swap(row, next);
    }
    return {row[b.size()], static_cast<long>(b.size())};
}

// Standard deviation of the log pitch over the voiced frames: how much the
// melody moves.
double pitch_spread(const std::vector<float>& x16) {
    std::vector<double> l;
    for (float f : voice::track_pitch(x16))
        if (f > 0) l.push_back(std::log(f));
    if (l.size() < 2) return 0;
    const double mean = std::accumulate(l.begin(), l.end(), 0.0) / static_cast<double>(l.size());
    double sum = 0;
    for (double v : l) sum += (v - mean) * (v - mean);
    return std::sqrt(sum / static_cast<double>(l.size()));
}

struct Voice {
    std::string name;
    torch::jit::Module* model = nullptr;  // or espeak-ng when null
};

std::vector<float> speak(const Voice& v, const std::string& text, double* seconds) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<float> audio;
    if (v.model != nullptr) {
        synthesize_with_word_timestamps(
            *v.model, SynthesisRequest{text, 20},
            [&](const std::vector<float>& block) {
                audio.insert(audio.end(), block.begin(), block.end());
                return true;
            },
            {}, nullptr);
        if (seconds)
            *seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return voice::resample(audio, kSampleRate, voice::kCorpusRate);
    }
    std::string plain;
    for (char c : text)
        if (c != '+' && c != '\'' && c != '"') plain += c;
    const fs::path wav =
        fs::temp_directory_path() / ("zelvan_quality_" + std::to_string(getpid()) + ".wav");
    const std::string command =
        "espeak-ng -v ru -w '" + wav.string() + "' \"" + plain + "\" 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    const voice::Audio a = voice::read_wav(wav.string());
    fs::remove(wav);
    return voice::resample(a.samples, a.rate, voice::kCorpusRate);
}

struct Row {
    std::string figure, value, unit, command;
};

std::string fixed(double v, int precision) {
    std::ostringstream s;
    s.setf(std::ios::fixed);
    s.precision(precision);
    s << v;
    return s.str();
}

}  // namespace

int main(int argc, char** argv) {
    std::string voice_file, source, inventory, formant;
    bool tsv = false;
    std::string corpus = voice::kDefaultCorpusDir;
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    std::string models = (bin / ".." / "models").string();
    std::size_t limit = 1000;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--tsv") {
            tsv = true;
            continue;
        }
        if (i + 1 >= argc) break;
        const std::string v = argv[++i];
        if (a == "--voice")
            voice_file = v;
        else if (a == "--source")
            source = v;
        else if (a == "--inventory")
            inventory = v;
        else if (a == "--formant")
            formant = v;
        else if (a == "--models")
            models = v;
        else if (a == "--corpus")
            corpus = v;
        else if (a == "--limit")
            limit = static_cast<std::size_t>(std::atoi(v.c_str()));
    }
    if (voice_file.empty() && source.empty()) voice_file = models + "/tts/multivoice_base.bin";
    if (formant.empty()) formant = models + "/../models-formant/multivoice_base.bin";
    try {
        // The demo stages read from the models root; a private settings file
        // switches both on.
        const fs::path config =
            fs::temp_directory_path() / ("zelvan_quality_cfg_" + std::to_string(getpid()));
        fs::create_directories(config / "ZelvanTTS");
        std::ofstream(config / "ZelvanTTS" / "config.json")
            << R"({"enable_accentor": true, "enable_homosolver": true})";
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("ZELVAN_TTS_MODEL_PATH", models.c_str(), 1);
        configure_torch_runtime();

        torch::jit::Module recorded, raw;
        if (!source.empty()) {
            std::ifstream in(source);
            std::ostringstream text;
            text << in.rdbuf();
            const fs::path packed = config / "voice.bin";
            pack_module(voice::recorded_voice_module(text.str(), voice::read_inventory(inventory),
                                                     voice::learn_stress_guess(corpus)),
                        packed.string());
            recorded = load_voice_model(packed.string());
            load_encrypted_module(packed.string(), raw);
        } else {
            recorded = load_voice_model(voice_file);
            load_encrypted_module(voice_file, raw);
        }
        std::vector<Voice> voices{{"recorded voice", &recorded}};
        torch::jit::Module formant_voice;
        if (fs::exists(formant)) {
            formant_voice = load_voice_model(formant);
            voices.push_back({"formant demo voice", &formant_voice});
        }
        if (std::system("command -v espeak-ng >/dev/null 2>&1") == 0)
            voices.push_back({"espeak-ng -v ru", nullptr});

        std::vector<voice::Utterance> held_out;
        for (const voice::Utterance& u : voice::read_prompts(corpus))
            if (voice::is_held_out(u.number) && held_out.size() < limit) held_out.push_back(u);
        std::vector<Frames> natural;
        double natural_spread = 0;
        for (const voice::Utterance& u : held_out) {
            const std::vector<std::int16_t> raw = voice::read_recording(corpus, u.name);
            std::vector<float> x(raw.size());
            for (std::size_t i = 0; i < x.size(); ++i) x[i] = raw[i] / 32768.0f;
            natural.push_back(speech_frames(x));
            natural_spread += pitch_spread(x) / static_cast<double>(held_out.size());
        }
        const std::size_t n = held_out.size();
        std::vector<Row> rows;
        const std::string cmd = "voice_quality_bench";

        long edits = 0, labelled = 0;
        for (const voice::Utterance& u : held_out) {
            const auto [e, l] = phone_errors(raw, u, corpus);
            edits += e;
            labelled += l;
        }
        rows.push_back(
            {"recorded voice: phones its reading rules give the held-out texts (demo stages) "
             "unlike the recordings' labels",
             fixed(100.0 * static_cast<double>(edits) / static_cast<double>(std::max(1L, labelled)),
                   1),
             "%", cmd});
        std::cerr << rows.back().figure << ": " << rows.back().value << "\n";

        double between = 0;
        for (std::size_t i = 0; i < n; ++i) between += mcd(natural[i], natural[(i + 1) % n]);
        between /= static_cast<double>(n);
        rows.push_back({"speaker against himself: MCD between two different held-out sentences",
                        fixed(between, 2), "dB", cmd});
        std::cerr << rows.back().figure << ": " << rows.back().value << "\n";

        rows.push_back({"speaker: spread of his pitch in the held-out sentences (s.d. of log F0)",
                        fixed(natural_spread, 3), "", cmd});
        std::cerr << rows.back().figure << ": " << rows.back().value << "\n";

        for (const Voice& v : voices) {
            double own = 0, seconds = 0, audio_seconds = 0, spread = 0;
            std::size_t closest = 0;
            for (std::size_t i = 0; i < n; ++i) {
                double t = 0;
                const std::vector<float> x = speak(v, held_out[i].text, &t);
                seconds += t;
                audio_seconds += static_cast<double>(x.size()) / voice::kCorpusRate;
                const Frames f = speech_frames(x);
                spread += pitch_spread(x) / static_cast<double>(n);
                const double d = mcd(f, natural[i]);
                own += d;
                bool nearest = true;
                for (std::size_t j = 0; j < n && nearest; ++j)
                    if (j != i && mcd(f, natural[j]) <= d) nearest = false;
                closest += nearest ? 1 : 0;
                if (std::getenv("QUALITY_VERBOSE"))
                    std::cerr << "  " << held_out[i].name << " " << fixed(d, 2) << " dB, "
                              << f.size() << " / " << natural[i].size() << " frames"
                              << (nearest ? "" : " (not nearest)") << "\n";
            }
            rows.push_back(
                {v.name + ": MCD to the speaker reading the same held-out sentence (mean of " +
                     std::to_string(n) + ")",
                 fixed(own / static_cast<double>(n), 2), "dB", cmd});
            std::cerr << rows.back().figure << ": " << rows.back().value << "\n";
            rows.push_back(
                {v.name + ": held-out sentences closer to their own recording than to every other",
                 std::to_string(closest) + " of " + std::to_string(n), "", cmd});
            std::cerr << rows.back().figure << ": " << rows.back().value << "\n";
            rows.push_back(
                {v.name + ": spread of its pitch in the held-out sentences (s.d. of log F0)",
                 fixed(spread, 3), "", cmd});
            std::cerr << rows.back().figure << ": " << rows.back().value << "\n";
            if (v.model == &recorded) {
                // One core: the voice alone, as the pipeline calls it.
                at::set_num_threads(1);
                double forward = 0, audio = 0;
                for (std::size_t i = 0; i < n; ++i) {
                    double t = 0;
                    audio += static_cast<double>(speak(v, held_out[i].text, &t).size()) /
                             voice::kCorpusRate;
                    forward += t;
                }
                at::set_num_threads(4);
                rows.push_back(
                    {v.name + ": real-time factor, held-out sentences with the stages, 1 thread",
                     fixed(forward / audio, 4), "s per s of audio", cmd});
                std::cerr << rows.back().figure << ": " << rows.back().value << " (x"
                          << fixed(audio / forward, 0) << ")\n";
            }
        }
        fs::remove_all(config);
        if (tsv)
            for (const Row& r : rows)
                std::cout << r.figure << '\t' << r.value << '\t' << r.unit << '\t' << r.command
                          << '\n';
    } catch (const std::exception& e) {
        std::cerr << "voice_quality_bench: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
