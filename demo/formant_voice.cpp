#include "demo/formant_voice.h"

#include "platform/utf8_path.h"
#include "shared/symbols/symbols.h"
#include "core/module_packing.h"

#include <torch/script.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace zelvan_tts::demo {

namespace {

// The columns of one symbol row, in the order the TorchScript source reads.
struct SymbolSound {
    float duration = 0.05f;
    float voice = 0.0f;  // amplitude of the formant grains
    FormantTargets target{500, 1500, 2500};
    FormantTargets onset{0, 0, 0};  // zero: no glide, start at the target
    std::array<float, 3> formant_amps{1.0f, 0.5f, 0.25f};
    float noise = 0.0f;
    float noise_centre = 3000.0f;
    float noise_band = 1000.0f;
    float burst = 0.0f;  // decay rate of the burst after a closure; 0: none
    bool vowel = false;
    bool trill = false;
};
constexpr int kColumns = 17;

constexpr FormantTargets kNeutral{500, 1500, 2500};
constexpr FormantTargets kI{280, 2250, 2950};

SymbolSound pause(float seconds) {
    SymbolSound s;
    s.duration = seconds;
    return s;
}

SymbolSound vowel(FormantTargets target, float seconds = 0.095f, FormantTargets onset = {}) {
    SymbolSound s;
    s.duration = seconds;
    s.voice = 0.5f;
    s.target = target;
    s.onset = onset;
    s.vowel = true;
    return s;
}

// An iotated vowel: glides from и to its target.
SymbolSound iotated(FormantTargets target) { return vowel(target, 0.11f, kI); }

SymbolSound stop(FormantTargets locus, float centre, float band, bool voiced, float decay = 6.0f,
                 float seconds = 0.075f) {
    SymbolSound s;
    s.duration = seconds;
    s.voice = voiced ? 0.22f : 0.0f;
    s.target = locus;
    s.formant_amps = {1.0f, 0.06f, 0.03f};  // a voice bar: low energy only
    s.noise = 0.22f;
    s.noise_centre = centre;
    s.noise_band = band;
    s.burst = decay;
    return s;
}

// An affricate: a closure followed by a slowly decaying frication.
SymbolSound affricate(FormantTargets locus, float centre, float band, bool voiced) {
    return stop(locus, centre, band, voiced, 1.8f, 0.1f);
}

SymbolSound fricative(FormantTargets locus, float centre, float band, float level, bool voiced) {
    SymbolSound s;
    s.duration = 0.09f;
    s.voice = voiced ? 0.28f : 0.0f;
    s.target = locus;
    s.formant_amps = {1.0f, 0.15f, 0.05f};
    s.noise = voiced ? level * 0.6f : level;
    s.noise_centre = centre;
    s.noise_band = band;
    return s;
}

// Nasals, laterals and approximants: weak voiced formants.
SymbolSound sonorant(FormantTargets target, std::array<float, 3> amps, float voice = 0.3f,
                     float seconds = 0.065f) {
    SymbolSound s;
    s.duration = seconds;
    s.voice = voice;
    s.target = target;
    s.formant_amps = amps;
    return s;
}

SymbolSound sound_of(char32_t c) {
    constexpr std::array<float, 3> kNasal{1.0f, 0.08f, 0.04f};
    constexpr std::array<float, 3> kLiquid{1.0f, 0.3f, 0.12f};
    switch (c) {
        // Pauses: longer after a sentence end than after a comma; a short gap for a blank.
        case U'|':
            return pause(0.05f);
        case U'.':
        case U'!':
        case U'?':
            return pause(0.4f);
        case U'\u2026':
            return pause(0.45f);
        case U',':
            return pause(0.2f);
        case U';':
        case U':':
        case U'\u2014':
            return pause(0.25f);
        case U'-':
            return pause(0.06f);
        case U' ':
            return pause(0.04f);
        case U'+':
        case U'\'':
            return pause(0.0f);
        // Vowels.
        case U'а':
            return vowel({750, 1250, 2600});
        case U'ұ':
            return vowel({340, 750, 2300});
        case U'о':
            return vowel({500, 900, 2500});
        case U'у':
            return vowel({320, 700, 2300});
        case U'ў':
            return vowel({330, 720, 2300}, 0.05f);
        case U'ы':
            return vowel({330, 1500, 2400});
        case U'э':
            return vowel({550, 1750, 2550});
        case U'и':
        case U'і':
        case U'ӥ':
            return vowel(kI);
        case U'ӣ':
            return vowel(kI, 0.13f);
        case U'ӯ':
            return vowel({320, 700, 2300}, 0.13f);
        case U'е':
        case U'є':
            return iotated({500, 1900, 2600});
        case U'я':
            return iotated({700, 1500, 2600});
        case U'ё':
            return iotated({480, 1000, 2500});
        case U'ю':
            return iotated({320, 1100, 2300});
        case U'ї':
            return iotated(kI);
        case U'ә':
            return vowel({650, 1800, 2600});
        case U'ө':
        case U'ӧ':
            return vowel({450, 1400, 2400});
        case U'ү':
        case U'ӱ':
        case U'ӳ':
            return vowel({300, 1700, 2300});
        case U'ӑ':
            return vowel({700, 1250, 2600}, 0.06f);
        case U'ӗ':
            return vowel({500, 1600, 2500}, 0.06f);
        // Plosives: closure, then a burst whose band tells the place.
        case U'п':
            return stop({250, 900, 2200}, 900, 700, false);
        case U'б':
            return stop({250, 900, 2200}, 900, 700, true);
        case U'т':
            return stop({250, 1700, 2600}, 4200, 1500, false);
        case U'д':
            return stop({250, 1700, 2600}, 4200, 1500, true);
        case U'к':
        case U'қ':
        case U'ҡ':
            return stop({250, 1800, 2300}, 1900, 700, false);
        case U'ҝ':
            return stop({250, 2100, 2600}, 2600, 900, false);
        case U'г':
        case U'ґ':
            return stop({250, 1800, 2300}, 1900, 700, true);
        // Affricates.
        case U'ц':
            return affricate({250, 1700, 2600}, 6500, 1800, false);
        case U'ӟ':
            return affricate({250, 1700, 2600}, 6500, 1800, true);
        case U'ч':
        case U'ҷ':
        case U'ҹ':
        case U'ӵ':
            return affricate({250, 2000, 2700}, 3800, 1400, false);
        case U'җ':
        case U'ӝ':
            return affricate({250, 2000, 2700}, 3200, 1400, true);
        // Fricatives: shaped noise, voiced ones over weak formants.
        case U'ф':
            return fricative({300, 1000, 2300}, 6000, 4000, 0.07f, false);
        case U'в':
            return fricative({300, 1100, 2300}, 5000, 4000, 0.06f, true);
        case U'с':
            return fricative({300, 1600, 2600}, 6800, 1800, 0.22f, false);
        case U'з':
            return fricative({300, 1600, 2600}, 6800, 1800, 0.22f, true);
        case U'ҫ':
            return fricative({300, 1500, 2600}, 5500, 3000, 0.09f, false);
        case U'ҙ':
            return fricative({300, 1500, 2600}, 5500, 3000, 0.09f, true);
        case U'ш':
            return fricative({300, 1500, 2300}, 2900, 1100, 0.22f, false);
        case U'ж':
            return fricative({300, 1500, 2300}, 2900, 1100, 0.22f, true);
        case U'щ':
            return fricative({300, 2000, 2700}, 3800, 1400, 0.22f, false);
        case U'х':
        case U'ҳ':
            return fricative({400, 1400, 2400}, 1600, 900, 0.14f, false);
        case U'ғ':
        case U'ҕ':
            return fricative({400, 1400, 2400}, 1600, 900, 0.12f, true);
        case U'h':
        case U'һ':
            return fricative(kNeutral, 1500, 1800, 0.1f, false);
        // Nasals, laterals, approximants.
        case U'м':
            return sonorant({250, 1100, 2300}, kNasal, 0.32f);
        case U'н':
            return sonorant({250, 1600, 2500}, kNasal, 0.32f);
        case U'ң':
        case U'ҥ':
            return sonorant({250, 2000, 2600}, kNasal, 0.32f);
        case U'л':
            return sonorant({350, 1000, 2500}, kLiquid);
        case U'р': {
            SymbolSound s = sonorant({420, 1300, 1700}, kLiquid, 0.3f, 0.07f);
            s.trill = true;
            return s;
        }
        case U'й':
        case U'ј':
            return sonorant({280, 2200, 2900}, {1.0f, 0.35f, 0.2f}, 0.3f, 0.05f);
        // Signs: the soft sign is silent, the hard sign and the palochka a short stop.
        case U'ь':
            return pause(0.0f);
        case U'ъ':
            return pause(0.02f);
        case U'ӏ':
            return pause(0.05f);
        default:
            return pause(0.05f);
    }
}

SymbolSound sound_of_id(int symbol_id) {
    if (symbol_id < 0 || symbol_id >= static_cast<int>(symbols.size())) {
        throw std::out_of_range("symbol id out of range");
    }
    SymbolSound s = sound_of(symbols[static_cast<std::size_t>(symbol_id)]);
    if (s.onset.f1 == 0) s.onset = s.target;
    return s;
}

torch::Tensor symbol_table() {
    const auto rows = static_cast<std::int64_t>(symbols.size());
    torch::Tensor table = torch::zeros({rows, kColumns});
    auto t = table.accessor<float, 2>();
    for (std::int64_t id = 0; id < rows; ++id) {
        const SymbolSound s = sound_of_id(static_cast<int>(id));
        const std::array<float, kColumns> row{
            s.duration,           s.voice,           s.target.f1,       s.target.f2,
            s.target.f3,          s.onset.f1,        s.onset.f2,        s.onset.f3,
            s.formant_amps[0],    s.formant_amps[1], s.formant_amps[2], s.noise,
            s.noise_centre,       s.noise_band,      s.burst,           s.vowel ? 1.0f : 0.0f,
            s.trill ? 1.0f : 0.0f};
        for (int c = 0; c < kColumns; ++c) t[id][c] = row[static_cast<std::size_t>(c)];
    }
    return table;
}

torch::Tensor speaker_table() {
    constexpr int kSpeakers = 60;
    torch::Tensor table = torch::zeros({kSpeakers, 2});
    for (int i = 0; i < kSpeakers; ++i) {
        const DemoSpeaker s = demo_speaker(i);
        table[i][0] = s.pitch_hz;
        table[i][1] = s.tract_scale;
    }
    return table;
}

// About 1.4 s of white noise with unit variance, the same on every build.
torch::Tensor noise_table() {
    std::mt19937 generator(20240611u);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    torch::Tensor noise = torch::empty({65536});
    float* p = noise.data_ptr<float>();
    for (std::int64_t i = 0; i < noise.numel(); ++i) p[i] = normal(generator);
    return noise;
}

}  // namespace

DemoSpeaker demo_speaker(int speaker_id) {
    if (speaker_id < 0 || speaker_id >= 60) throw std::out_of_range("speaker id out of range");
    // Neighbouring rows sit far apart on the scale (37 is prime to 60), and a
    // higher voice gets a shorter vocal tract, as in people.
    const float position = static_cast<float>((speaker_id * 37) % 60) / 59.0f;
    const float pitch = 85.0f * std::pow(260.0f / 85.0f, position);
    const float wobble = 0.02f * static_cast<float>((speaker_id * 11) % 5 - 2);
    const float scale = std::clamp(0.9f + 0.25f * position + wobble, 0.9f, 1.15f);
    return {pitch, scale};
}

FormantTargets symbol_formants(int symbol_id) { return sound_of_id(symbol_id).target; }

float symbol_duration(int symbol_id) { return sound_of_id(symbol_id).duration; }

torch::jit::Module formant_voice_module(const std::string& source) {
    torch::jit::Module module("DemoFormantVoice");
    module.register_buffer("symbol_table", symbol_table());
    module.register_buffer("speaker_table", speaker_table());
    module.register_buffer("noise", noise_table());
    module.define(source);
    module.eval();
    return module;
}

void write_formant_voice(const std::string& source_path, const std::string& out_path) {
    std::ifstream in(path_from_utf8(source_path), std::ios::binary);
    if (!in) throw std::runtime_error("Cannot read the voice source: " + source_path);
    std::ostringstream text;
    text << in.rdbuf();
    pack_module(formant_voice_module(text.str()), out_path);
}

}  // namespace zelvan_tts::demo
