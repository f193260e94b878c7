// voice_quality_bench: how close the recorded voice comes to its speaker.
// Every held-out sentence of festvox-ru (never part of the voice) is read by
// the engine with the demo stages (numbers, homographs, stress) and the
// default Russian man's voice, and compared with the speaker's own recording
// by mel-cepstral distortion after DTW alignment; beside it the distance
// between two different sentences of the speaker, the formant demo voice and
// espeak-ng. Beside MCD, what a listener hears in the melody, the phrasing
// and the voice quality, for the voice, the speaker and espeak-ng alike:
// pitch spread in semitones, the correlation of the voice's pitch with the
// speaker's along the DTW alignment, the pauses inside a sentence and
// between two sentences of one request, spectral jumps between voiced
// frames, aperiodicity of the loudest frames, syllables per second
// of speech. Also the real-time factor and first audio of the voice on one
// core, how often its reading rules name another phone than the
// recordings' labels, how far apart the 60 voices are, and a picture of one
// held-out sentence (spectrogram and pitch, the speaker above the voice).
//
//   voice_quality_bench [--voice FILE | --source SRC.torchscript --inventory INV]
//                       [--formant FILE] [--models ROOT] [--corpus DIR] [--limit N] [--tsv]
//                       [--picture FILE.png] [--name LABEL] [--no-peers] [--quick]
//                       [--speaker ID] [--speed]
// The voices default to the build's: <bin>/../models (the recorded voice and
// the demo stages) and <bin>/../models-formant. --tsv prints every figure as
// one line "figure<TAB>value<TAB>unit<TAB>command" on stdout. --quick leaves
// out the pauses between sentences, the timings and the 60 voices (tuning);
// --speaker reads the held-out sentences with another of the 60 voices;
// --speed measures the recorded voice's real-time factor and first audio alone.
#include "core/encrypted_module.h"
#include "core/settings.h"
#include "engine/model_constants.h"
#include "engine/pipeline.h"
#include "engine/text_stages.h"
#include "engine/voice_model.h"
#include "tools/torchscript_packing.h"
#include "voice/corpus.h"
#include "voice/pitch_marks.h"
#include "shared/symbols/code_points.h"
#include "shared/symbols/speakers.h"
#include "voice/recorded_voice.h"
#include "voice/speaker_voices.h"
#include "voice/spectral_measures.h"
#include "voice/stress_guess.h"
#include "voice/unit_inventory.h"

#include <ATen/Parallel.h>
#include <torch/script.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <numeric>
#include <sstream>

namespace {

using namespace zelvan_tts;
namespace fs = std::filesystem;
using Frames = std::vector<std::vector<float>>;

constexpr int kHop = 160;  // 10 ms at 16 kHz

// Mel-cepstra every 10 ms without the silence before and after the speech
// (frames more than 40 dB under the loudest).
Frames speech_frames(const std::vector<float>& x16, std::size_t* first = nullptr) {
    Frames all = voice::mel_cepstrogram(x16, kHop);
    float loudest = -1e9f;
    for (const auto& f : all) loudest = std::max(loudest, f[0]);
    const float floor = loudest - 40.0f / 8.6859f;  // c0 is a natural log of amplitude
    std::size_t a = 0, b = all.size();
    while (a < b && all[a][0] < floor) ++a;
    while (b > a && all[b - 1][0] < floor) --b;
    if (first) *first = a;
    return Frames(all.begin() + static_cast<long>(a), all.begin() + static_cast<long>(b));
}

// Mean mel-cepstral distortion in dB (c1..c24) along the best alignment,
// within a band of a fifth of the longer sequence around the diagonal.
double mcd(const Frames& a, const Frames& b,
           std::vector<std::pair<std::size_t, std::size_t>>* path = nullptr) {
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
    if (path && cost[end] < inf) {
        // Back from the end along the cheapest predecessors.
        path->clear();
        std::size_t i = n, j = m;
        while (i > 0 && j > 0) {
            path->push_back({i - 1, j - 1});
            const std::size_t here = i * (m + 1) + j;
            const std::size_t from[3] = {here - m - 2, here - m - 1, here - 1};
            std::size_t best = from[0];
            for (std::size_t f : from)
                if (cost[f] < cost[best]) best = f;
            if (best == from[0]) --i, --j;
            else if (best == from[1]) --i;
            else --j;
        }
        std::reverse(path->begin(), path->end());
    }
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

constexpr double kSemitones = 12.0 / 0.69314718055994531;

// What one reading of one sentence is measured by.
struct Reading {
    std::vector<float> x16;
    std::vector<float> pitch;  // Hz every 5 ms, 0 unvoiced
    Frames frames;             // mel-cepstra every 10 ms over the speech
    std::size_t first = 0;     // the first of them in the whole reading
    explicit Reading(std::vector<float> x) : x16(std::move(x)) {
        pitch = voice::track_pitch(x16);
        frames = speech_frames(x16, &first);
    }
};

// 10 ms frames of the speech span, quiet where 35 dB under the loudest.
std::vector<bool> quiet_frames(const std::vector<float>& x16) {
    std::vector<double> level;
    for (std::size_t i = 0; i + kHop <= x16.size(); i += kHop) {
        double sum = 1e-12;
        for (std::size_t k = i; k < i + kHop; ++k) sum += static_cast<double>(x16[k]) * x16[k];
        level.push_back(10 * std::log10(sum / kHop));
    }
    const double loudest = level.empty() ? 0 : *std::max_element(level.begin(), level.end());
    std::vector<bool> quiet;
    for (double l : level) quiet.push_back(l < loudest - 35);
    std::size_t a = 0, b = quiet.size();
    while (a < b && quiet[a]) ++a;
    while (b > a && quiet[b - 1]) --b;
    return std::vector<bool>(quiet.begin() + static_cast<long>(a), quiet.begin() + static_cast<long>(b));
}

// Pauses of at least 0.1 s inside the speech (a stop's closure is
// shorter), with where they begin, in seconds from the speech's start.
std::vector<std::pair<double, double>> pauses_in(const std::vector<bool>& quiet) {
    std::vector<std::pair<double, double>> out;
    for (std::size_t f = 0; f < quiet.size();) {
        if (!quiet[f]) {
            ++f;
            continue;
        }
        std::size_t e = f;
        while (e < quiet.size() && quiet[e]) ++e;
        if (e - f >= 10) out.push_back({f * 0.01, (e - f) * 0.01});
        f = e;
    }
    return out;
}

// Aperiodicity of one frame as YIN gives it (de Cheveigne and Kawahara,
// 2002): the cumulative mean normalised difference over a 30 ms window of
// the 16 kHz signal, at the lag YIN takes for the period between 2 and 20 ms
// (the first dip under 0.1, else the deepest), its value refined by a
// parabola through the neighbouring lags. 0 for a perfectly periodic frame,
// about 1 for noise. Taken over the loudest quarter of all the 10 ms frames
// of a reading, ranked by their energy, it gives the speaker and espeak-ng
// on the first 20 held-out sentences 0.088 (14% over 0.25) and 0.264 (54%),
// where an independent YIN measurement of the same readings found 0.093
// (16%) and 0.263 (54%). Taken at the tracked period over the voiced frames
// with the largest mean log spectrum instead, it read the speaker 0.156: that
// ranking favours broadband frames, voiced fricatives, over vowels.
double aperiodicity(const std::vector<float>& x, long centre) {
    constexpr int kWindow = 480, kTauMin = 32, kTauMax = 320;
    const long start = centre - (kWindow + kTauMax) / 2;
    if (start < 0 || start + kWindow + kTauMax + 1 >= static_cast<long>(x.size())) return -1;
    const float* s = x.data() + start;
    std::vector<double> cm(kTauMax + 2, 1.0);
    double running = 0;
    for (int tau = 1; tau <= kTauMax + 1; ++tau) {
        double d = 0;
        for (int j = 0; j < kWindow; ++j) {
            const double e = s[j] - s[j + tau];
            d += e * e;
        }
        running += d;
        cm[static_cast<std::size_t>(tau)] = running > 0 ? d * tau / running : 1;
    }
    int best = -1, deepest = kTauMin;
    for (int tau = kTauMin; tau <= kTauMax; ++tau) {
        if (cm[static_cast<std::size_t>(tau)] < cm[static_cast<std::size_t>(deepest)]) deepest = tau;
        if (best < 0 && cm[static_cast<std::size_t>(tau)] < 0.1) {
            best = tau;
            while (best < kTauMax && cm[static_cast<std::size_t>(best) + 1] < cm[static_cast<std::size_t>(best)]) ++best;
        }
    }
    if (best < 0) best = deepest;
    const double l = cm[static_cast<std::size_t>(best) - 1], c = cm[static_cast<std::size_t>(best)],
                 r = cm[static_cast<std::size_t>(best) + 1];
    const double bend = l - 2 * c + r;
    if (bend <= 1e-12) return c;
    const double shift = std::clamp(0.5 * (l - r) / bend, -0.5, 0.5);
    return std::max(0.0, c - 0.25 * (l - r) * shift);
}

// Russian vowel letters in a text: its syllables.
int syllables(const std::string& text) {
    int n = 0;
    for (char32_t c : utf8_to_utf32(text))
        if (std::u32string_view(U"аеёиоуыэюяАЕЁИОУЫЭЮЯ").find(c) != std::u32string_view::npos) ++n;
    return n;
}

// Everything measured of one voice (or the speaker) over the held-out sentences.
struct Tally {
    double spread = 0;  // mean per sentence, semitones
    std::vector<double> pause_lengths;
    double pauses = 0;  // per sentence
    long jump_frames = 0, jumps = 0;
    std::vector<double> aperiodic;
    double speech_seconds = 0;
    long syllable_count = 0;
    double correlation = 0;
    int correlated = 0;
    std::size_t sentences = 0;

    void add(const Reading& r, const std::string& text) {
        ++sentences;
        std::vector<double> l;
        for (float f : r.pitch)
            if (f > 0) l.push_back(std::log(f));
        if (l.size() > 1) {
            const double mean = std::accumulate(l.begin(), l.end(), 0.0) / static_cast<double>(l.size());
            double sum = 0;
            for (double v : l) sum += (v - mean) * (v - mean);
            spread += kSemitones * std::sqrt(sum / static_cast<double>(l.size()));
        }
        const std::vector<bool> quiet = quiet_frames(r.x16);
        const auto p = pauses_in(quiet);
        pauses += static_cast<double>(p.size());
        double paused = 0;
        for (const auto& [at, len] : p) {
            pause_lengths.push_back(len);
            paused += len;
        }
        speech_seconds += static_cast<double>(quiet.size()) * 0.01 - paused;
        syllable_count += syllables(text);
        // Spectral jumps: neighbouring 10 ms frames, both voiced.
        const double k = 10.0 / std::log(10.0) * std::sqrt(2.0);
        for (std::size_t i = 0; i + 1 < r.frames.size(); ++i) {
            const std::size_t f = 2 * (r.first + i);
            if (f + 2 >= r.pitch.size() || r.pitch[f] <= 0 || r.pitch[f + 2] <= 0) continue;
            double d = 0;
            for (std::size_t c = 1; c < r.frames[i].size(); ++c) {
                const double e = r.frames[i][c] - r.frames[i + 1][c];
                d += e * e;
            }
            ++jump_frames;
            if (k * std::sqrt(d) > 6.0) ++jumps;
        }
        // Aperiodicity of the loudest quarter of the 10 ms frames within
        // 40 dB of the loudest, voiced or not.
        std::vector<std::pair<double, long>> loud;  // level (dB), centre
        for (long c = kHop; c + kHop <= static_cast<long>(r.x16.size()); c += kHop) {
            double sum = 1e-12;
            for (long i = c - kHop / 2; i < c + kHop / 2; ++i)
                sum += static_cast<double>(r.x16[static_cast<std::size_t>(i)]) * r.x16[static_cast<std::size_t>(i)];
            loud.push_back({10 * std::log10(sum / kHop), c});
        }
        std::sort(loud.begin(), loud.end(), std::greater<>());
        while (!loud.empty() && loud.back().first < loud.front().first - 40) loud.pop_back();
        for (std::size_t i = 0; i < loud.size() / 4; ++i) {
            const double a = aperiodicity(r.x16, loud[i].second);
            if (a >= 0) aperiodic.push_back(a);
        }
    }

    // Pitch correlation with the speaker's reading along the alignment.
    void correlate(const Reading& voice, const Reading& natural) {
        std::vector<std::pair<std::size_t, std::size_t>> path;
        mcd(voice.frames, natural.frames, &path);
        std::vector<double> a, b;
        for (const auto& [i, j] : path) {
            const std::size_t fi = 2 * (voice.first + i), fj = 2 * (natural.first + j);
            if (fi < voice.pitch.size() && fj < natural.pitch.size() && voice.pitch[fi] > 0 &&
                natural.pitch[fj] > 0) {
                a.push_back(std::log(voice.pitch[fi]));
                b.push_back(std::log(natural.pitch[fj]));
            }
        }
        if (a.size() < 20) return;
        const double ma = std::accumulate(a.begin(), a.end(), 0.0) / static_cast<double>(a.size());
        const double mb = std::accumulate(b.begin(), b.end(), 0.0) / static_cast<double>(b.size());
        double sab = 0, saa = 0, sbb = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            sab += (a[i] - ma) * (b[i] - mb);
            saa += (a[i] - ma) * (a[i] - ma);
            sbb += (b[i] - mb) * (b[i] - mb);
        }
        if (saa > 0 && sbb > 0) {
            correlation += sab / std::sqrt(saa * sbb);
            ++correlated;
        }
    }
};

double percentile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
}

// ---- the picture --------------------------------------------------------------

void write_png(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        raw.insert(raw.end(), rgb.begin() + static_cast<long>(y) * width * 3,
                   rgb.begin() + static_cast<long>(y + 1) * width * 3);
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packed_size);
    compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 9);
    packed.resize(packed_size);
    std::ofstream out(path, std::ios::binary);
    const auto be32 = [&](std::uint32_t v) {
        const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
        out.write(b, 4);
    };
    const auto chunk = [&](const char* type, const std::vector<std::uint8_t>& data) {
        be32(static_cast<std::uint32_t>(data.size()));
        out.write(type, 4);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
        if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
        be32(static_cast<std::uint32_t>(crc));
    };
    out.write("\x89PNG\r\n\x1a\n", 8);
    std::vector<std::uint8_t> header;
    for (std::uint32_t v : {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)})
        for (int s = 24; s >= 0; s -= 8) header.push_back(static_cast<std::uint8_t>(v >> s));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    chunk("IHDR", header);
    chunk("IDAT", packed);
    chunk("IEND", {});
}

// Two panels, the speaker above the voice: a spectrogram to 8 kHz (8 ms a
// column, 16 shades) and under it the pitch, 60 to 400 Hz on a log scale.
void draw_picture(const std::string& path, const std::vector<const std::vector<float>*>& readings) {
    constexpr int kColumn = 128, kSpec = 256, kPitch = 120, kGap = 8;
    std::size_t longest = 0;
    for (const auto* x : readings) longest = std::max(longest, x->size());
    const int width = static_cast<int>(longest / kColumn) + 1;
    const int panel = kSpec + kPitch + kGap;
    const int height = panel * static_cast<int>(readings.size());
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3, 255);
    const auto put = [&](int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        rgb[i] = r, rgb[i + 1] = g, rgb[i + 2] = b;
    };
    for (std::size_t p = 0; p < readings.size(); ++p) {
        const std::vector<float>& x = *readings[p];
        const int top = static_cast<int>(p) * panel;
        for (int c = 0; c < width; ++c) {
            std::vector<std::complex<double>> frame(512);
            for (int i = 0; i < 512; ++i) {
                const long at = static_cast<long>(c) * kColumn - 256 + i;
                const double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / 511);
                frame[static_cast<std::size_t>(i)] =
                    at >= 0 && at < static_cast<long>(x.size()) ? x[static_cast<std::size_t>(at)] * w : 0.0;
            }
            voice::fft(frame);
            for (int row = 0; row < kSpec; ++row) {
                const double db = 10 * std::log10(std::norm(frame[static_cast<std::size_t>(row)]) + 1e-10);
                const double v = std::clamp((db + 40) / 70, 0.0, 1.0);  // -40 .. 30 dB
                const auto shade = static_cast<std::uint8_t>(17 * std::lround(15 * (1 - v)));
                put(c, top + kSpec - 1 - row, shade, shade, shade);
            }
        }
        const std::vector<float> pitch = voice::track_pitch(x);
        for (int y = top + kSpec; y < top + kSpec + kPitch; ++y)
            for (int c = 0; c < width; ++c) put(c, y, 245, 245, 245);
        for (double hz : {100.0, 200.0})  // guide lines
            for (int c = 0; c < width; c += 2)
                put(c, top + kSpec + kPitch - 1 - static_cast<int>((std::log(hz / 60) / std::log(400.0 / 60)) * kPitch), 180, 180, 180);
        for (std::size_t f = 0; f < pitch.size(); ++f) {
            if (pitch[f] <= 0) continue;
            const int c = static_cast<int>(f * voice::kPitchHop / kColumn);
            const int y = top + kSpec + kPitch - 1 -
                          static_cast<int>(std::log(pitch[f] / 60.0) / std::log(400.0 / 60) * kPitch);
            for (int dy = -1; dy <= 1; ++dy) put(c, y + dy, 200, 30, 30);
        }
    }
    write_png(path, width, height, rgb);
}

struct Voice {
    std::string name;
    torch::jit::Module* model = nullptr;  // or espeak-ng when null
};

std::vector<float> speak(const Voice& v, const std::string& text, double* seconds,
                         int speaker = 20, double* first_audio = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<float> audio;
    if (v.model != nullptr) {
        synthesize_with_word_timestamps(
            *v.model, SynthesisRequest{text, speaker},
            [&](const std::vector<float>& block) {
                if (first_audio && audio.empty())
                    *first_audio = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    std::string voice_file, source, inventory, formant, picture, label = "recorded voice";
    bool tsv = false, peers = true, quick = false, speed_only = false;
    std::string corpus = voice::kDefaultCorpusDir;
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    std::string models = (bin / ".." / "models").string();
    std::size_t limit = 1000;
    int reader = 20;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--tsv") {
            tsv = true;
            continue;
        }
        if (a == "--no-peers") {  // the recorded voice alone, while tuning it
            peers = false;
            continue;
        }
        if (a == "--speed") {  // its real-time factor and first audio alone
            speed_only = true;
            continue;
        }
        if (a == "--quick") {
            quick = true;
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
        else if (a == "--picture")
            picture = v;
        else if (a == "--name")
            label = v;
        else if (a == "--speaker")
            reader = std::atoi(v.c_str());
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
        std::vector<Voice> voices{{label, &recorded}};
        torch::jit::Module formant_voice;
        if (peers && fs::exists(formant)) {
            formant_voice = load_voice_model(formant);
            voices.push_back({"formant demo voice", &formant_voice});
        }
        if (peers && std::system("command -v espeak-ng >/dev/null 2>&1") == 0)
            voices.push_back({"espeak-ng -v ru", nullptr});

        std::vector<voice::Utterance> held_out;
        for (const voice::Utterance& u : voice::read_prompts(corpus))
            if (voice::is_held_out(u.number) && held_out.size() < limit) held_out.push_back(u);
        std::vector<Reading> natural;
        Tally speaker;
        for (const voice::Utterance& u : held_out) {
            if (speed_only) break;
            const std::vector<std::int16_t> raw = voice::read_recording(corpus, u.name);
            std::vector<float> x(raw.size());
            for (std::size_t i = 0; i < x.size(); ++i) x[i] = raw[i] / 32768.0f;
            natural.emplace_back(std::move(x));
            speaker.add(natural.back(), u.text);
        }
        const std::size_t n = held_out.size();
        std::vector<Row> rows;
        const std::string cmd = "voice_quality_bench";
        const auto row = [&](const std::string& figure, const std::string& value, const std::string& unit) {
            rows.push_back({figure, value, unit, cmd});
            std::cerr << figure << ": " << value << (unit.empty() ? "" : " " + unit) << "\n";
        };

        // One core: the voice alone, as the pipeline calls it, on two
        // held-out sentences a request.
        const auto measure_speed = [&](const Voice& v) {
            at::set_num_threads(1);
            double forward = 0, audio = 0;
            std::vector<double> first;
            for (std::size_t i = 0; i < n; ++i) {
                double t = 0, f = 0;
                audio += static_cast<double>(speak(v, held_out[i].text + " " + held_out[(i + 1) % n].text, &t, 20, &f).size()) /
                         voice::kCorpusRate;
                forward += t;
                first.push_back(f);
            }
            at::set_num_threads(4);
            row(v.name + ": real-time factor, held-out sentences with the stages, 1 thread", fixed(forward / audio, 4),
                "s per s of audio");
            row(v.name + ": first audio of a two-sentence request, median, 1 thread", fixed(1000 * percentile(first, 0.5), 1),
                "ms");
        };
        if (speed_only) {
            measure_speed(voices.front());
            fs::remove_all(config);
            return 0;
        }

        long edits = 0, labelled = 0;
        for (const voice::Utterance& u : held_out) {
            const auto [e, l] = phone_errors(raw, u, corpus);
            edits += e;
            labelled += l;
        }
        row(label + ": phones its reading rules give the held-out texts (demo stages) unlike the recordings' labels",
            fixed(100.0 * static_cast<double>(edits) / static_cast<double>(std::max(1L, labelled)), 1), "%");

        double between = 0;
        for (std::size_t i = 0; i < n; ++i) between += mcd(natural[i].frames, natural[(i + 1) % n].frames);
        between /= static_cast<double>(n);
        row("speaker against himself: MCD between two different held-out sentences", fixed(between, 2), "dB");

        // The figures every reader gets, the speaker first.
        const auto report = [&](const std::string& who, const Tally& t) {
            const double s = static_cast<double>(std::max<std::size_t>(1, t.sentences));
            row(who + ": pitch spread, s.d. of log F0 per sentence", fixed(t.spread / s, 2), "semitones");
            if (t.correlated > 0)
                row(who + ": correlation of log F0 with the speaker's along the DTW alignment",
                    fixed(t.correlation / t.correlated, 2), "");
            std::size_t long_ones = 0;
            for (double l : t.pause_lengths) long_ones += l >= 0.2 ? 1 : 0;
            row(who + ": pauses of 0.1 s or more inside a sentence: per sentence; mean; 10th-90th percentile; share of 0.2 s or more",
                fixed(t.pauses / s, 2) + "; " + fixed(t.pause_lengths.empty() ? 0 : std::accumulate(t.pause_lengths.begin(), t.pause_lengths.end(), 0.0) / static_cast<double>(t.pause_lengths.size()), 2) +
                    " s; " + fixed(percentile(t.pause_lengths, 0.1), 2) + "-" + fixed(percentile(t.pause_lengths, 0.9), 2) + " s; " +
                    fixed(100.0 * static_cast<double>(long_ones) / static_cast<double>(std::max<std::size_t>(1, t.pause_lengths.size())), 0) + "%",
                "");
            row(who + ": neighbouring voiced 10 ms frames with a spectral jump over 6 dB",
                fixed(100.0 * static_cast<double>(t.jumps) / static_cast<double>(std::max(1L, t.jump_frames)), 1), "%");
            std::size_t rough = 0;
            for (double a : t.aperiodic) rough += a > 0.25 ? 1 : 0;
            row(who + ": aperiodicity of the loudest quarter of frames (YIN), median (share over 0.25)",
                fixed(percentile(t.aperiodic, 0.5), 3) + " (" +
                    fixed(100.0 * static_cast<double>(rough) / static_cast<double>(std::max<std::size_t>(1, t.aperiodic.size())), 0) + "%)",
                "");
            row(who + ": syllables per second of speech, pauses left out",
                fixed(static_cast<double>(t.syllable_count) / std::max(1e-9, t.speech_seconds), 2), "1/s");
        };
        report("speaker", speaker);

        for (const Voice& v : voices) {
            double own = 0, seconds = 0, audio_seconds = 0;
            std::size_t closest = 0;
            Tally tally;
            for (std::size_t i = 0; i < n; ++i) {
                double t = 0;
                Reading r(speak(v, held_out[i].text, &t, v.model ? reader : 20));
                seconds += t;
                audio_seconds += static_cast<double>(r.x16.size()) / voice::kCorpusRate;
                tally.add(r, held_out[i].text);
                tally.correlate(r, natural[i]);
                const double d = mcd(r.frames, natural[i].frames);
                own += d;
                bool nearest = true;
                for (std::size_t j = 0; j < n && nearest; ++j)
                    if (j != i && mcd(r.frames, natural[j].frames) <= d) nearest = false;
                closest += nearest ? 1 : 0;
                if (i == 0 && v.model == &recorded && !picture.empty())
                    draw_picture(picture, {&natural[0].x16, &r.x16});
                if (std::getenv("QUALITY_VERBOSE"))
                    std::cerr << "  " << held_out[i].name << " " << fixed(d, 2) << " dB, " << r.frames.size()
                              << " / " << natural[i].frames.size() << " frames" << (nearest ? "" : " (not nearest)") << "\n";
            }
            row(v.name + ": MCD to the speaker reading the same held-out sentence (mean of " + std::to_string(n) + ")",
                fixed(own / static_cast<double>(n), 2), "dB");
            row(v.name + ": held-out sentences closer to their own recording than to every other",
                std::to_string(closest) + " of " + std::to_string(n), "");
            report(v.name, tally);
            if (quick) continue;

            // Two held-out sentences in one request: the pause where the
            // first one ends.
            std::vector<double> gaps;
            for (std::size_t i = 0; i + 1 < n && i < 20; ++i) {
                const std::vector<bool> alone = quiet_frames(speak(v, held_out[i].text, nullptr));
                const std::vector<bool> both =
                    quiet_frames(speak(v, held_out[i].text + " " + held_out[i + 1].text, nullptr));
                const double end = static_cast<double>(alone.size()) * 0.01;
                double best = 1e9, gap = 0;
                for (const auto& [at, len] : pauses_in(both))
                    if (std::abs(at - end) < best) best = std::abs(at - end), gap = len;
                if (best < 0.3) gaps.push_back(gap);
            }
            if (!gaps.empty())
                row(v.name + ": pause between two sentences of one request, mean (min-max)",
                    fixed(std::accumulate(gaps.begin(), gaps.end(), 0.0) / static_cast<double>(gaps.size()), 2) + " (" +
                        fixed(percentile(gaps, 0), 2) + "-" + fixed(percentile(gaps, 1), 2) + ")",
                    "s");
            if (v.model == &recorded) {
                measure_speed(v);
                at::set_num_threads(1);
                // The 60 voices: how far apart two people of one language are.
                std::vector<std::pair<double, double>> measured(60);
                for (int id = 0; id < 60; ++id) {
                    const std::vector<float> x = speak(v, "Мама мыла раму, а папа читал газету у окна.", nullptr, id);
                    std::vector<float> f0 = voice::track_pitch(x, 60.0f, 500.0f);
                    const double centroid = voice::voiced_centroid(x, f0, voice::kPitchHop);
                    f0.erase(std::remove(f0.begin(), f0.end(), 0.0f), f0.end());
                    std::nth_element(f0.begin(), f0.begin() + static_cast<long>(f0.size() / 2), f0.end());
                    measured[static_cast<std::size_t>(id)] = {f0.empty() ? 0 : f0[f0.size() / 2], centroid};
                }
                at::set_num_threads(4);
                double closest_pair = 1e9;
                int near = 0, pairs = 0;
                std::string which;
                for (int a = 0; a < 60; ++a)
                    for (int b = a + 1; b < 60; ++b) {
                        if (voice::given_name(a) == voice::given_name(b) ||
                            std::string(speakers[a].lang) != speakers[b].lang)
                            continue;
                        const auto [fa, ca] = measured[static_cast<std::size_t>(a)];
                        const auto [fb, cb] = measured[static_cast<std::size_t>(b)];
                        const double d = std::max(std::abs(std::log(fa / fb)), std::abs(std::log(ca / cb)));
                        ++pairs;
                        near += d < std::log(1.03) ? 1 : 0;
                        if (d < closest_pair) {
                            closest_pair = d;
                            which = std::to_string(a) + " and " + std::to_string(b);
                        }
                    }
                row(v.name + ": the 60 voices, pairs of one language within 3% in both median pitch and spectral centroid",
                    std::to_string(near) + " of " + std::to_string(pairs), "");
                row(v.name + ": the 60 voices, the closest pair of one language (" + which + "), larger of the two differences",
                    fixed(100 * (std::exp(closest_pair) - 1), 1), "%");
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
