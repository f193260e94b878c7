#include "voice/recorded_voice.h"

#include "platform/utf8_path.h"
#include "shared/symbols/code_points.h"
#include "shared/symbols/symbols.h"
#include "core/module_packing.h"
#include "voice/letter_sounds.h"
#include "voice/phone_set.h"
#include "voice/prosody_learning.h"
#include "voice/speaker_voices.h"
#include "voice/stress_guess.h"
#include "voice/unit_inventory.h"

#include <torch/script.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace zelvan_tts::voice {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string read_text(const std::string& path, const char* what) {
    std::ifstream in(path_from_utf8(path), std::ios::binary);
    if (!in) throw std::runtime_error(std::string("Cannot read the ") + what + ": " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return std::move(s).str();
}

torch::Tensor ints(const std::vector<std::int64_t>& v, std::vector<std::int64_t> shape = {}) {
    if (shape.empty()) shape = {static_cast<std::int64_t>(v.size())};
    return torch::tensor(v, torch::kInt64).reshape(shape).clone();
}

torch::Tensor floats(const std::vector<float>& v, std::vector<std::int64_t> shape = {}) {
    if (shape.empty()) shape = {static_cast<std::int64_t>(v.size())};
    return torch::tensor(v, torch::kFloat).reshape(shape).clone();
}

torch::Tensor letter_table() {
    std::vector<std::int64_t> t;
    for (std::size_t id = 0; id < 85; ++id) {
        const LetterSound& s = letter_sounds()[id];
        t.insert(t.end(), {static_cast<std::int64_t>(s.kind), s.vowel, s.iotated, s.always_iotated,
                           s.softens, s.stressed, s.hard_phone, s.soft_phone,
                           static_cast<std::int64_t>(s.pause), stress_code(symbols[id]),
                           std::lround(100.0f * s.length)});
    }
    return ints(t, {85, 11});
}

torch::Tensor phone_table() {
    std::vector<std::int64_t> t;
    for (int p = 0; p < kPhoneCount; ++p) {
        const Phone& ph = phones[static_cast<std::size_t>(p)];
        const std::int64_t kind = ph.kind == PhoneKind::Pause      ? 0
                                  : ph.kind == PhoneKind::Vowel    ? 1
                                  : ph.kind == PhoneKind::Sonorant ? 2
                                                                   : 3;
        t.insert(t.end(),
                 {kind, ph.voiced && ph.kind != PhoneKind::Pause, ph.soft, voicing_twin(p)});
    }
    return ints(t, {kPhoneCount, 4});
}

torch::Tensor distance_table() {
    std::vector<float> t;
    for (int a = 0; a < kPhoneCount; ++a)
        for (int b = 0; b < kPhoneCount; ++b) t.push_back(std::min(phone_distance(a, b), 6.0f));
    return floats(t);
}

torch::Tensor speaker_table() {
    std::vector<float> t;
    for (int i = 0; i < 60; ++i) {
        const SpeakerVoice v = speaker_voice(i);
        t.insert(t.end(), {v.pitch, v.tract, v.rate, static_cast<float>(v.stress),
                           v.reduces ? 1.0f : 0.0f, v.spread, v.accent, v.decline, v.tilt,
                           v.female ? 1.0f : 0.0f});
    }
    return floats(t, {60, 10});
}

torch::Tensor tree_table(const RegressionTree& tree) {
    return floats(tree.nodes, {static_cast<std::int64_t>(tree.nodes.size() / 5), 5});
}

// A tree of one leaf: what the module holds until the trees are learnt.
torch::Tensor constant_tree(float value) {
    return floats({0.0f, std::numeric_limits<float>::infinity(), 0.0f, 0.0f, value}, {1, 5});
}

// 16 to 48 kHz: a windowed sinc cut at 7.6 kHz (121 taps at 48 kHz), split
// into its three phases: row m, column r weighs input sample j + m - 20 for
// output sample 3j + r.
torch::Tensor upsample_phases() {
    constexpr int kTaps = 121;
    constexpr int kHalf = 20;
    constexpr double kCut = 7600.0 / 48000.0;
    const int c = kTaps / 2;
    const auto h = [&](int n) {
        if (n < 0 || n >= kTaps) return 0.0;
        const double x = n - c;
        const double sinc = x == 0 ? 1.0 : std::sin(2 * kPi * kCut * x) / (2 * kPi * kCut * x);
        const double w = 0.42 - 0.5 * std::cos(2 * kPi * n / (kTaps - 1)) +
                         0.08 * std::cos(4 * kPi * n / (kTaps - 1));
        return 3.0 * 2.0 * kCut * sinc * w;  // the zeros between samples take a gain of 3
    };
    std::vector<float> w;
    for (int m = 0; m <= 2 * kHalf; ++m)
        for (int r = 0; r < 3; ++r) w.push_back(static_cast<float>(h(3 * (kHalf - m) + r + c)));
    return floats(w, {2 * kHalf + 1, 3});
}

}  // namespace

std::string expand_voice_source(const std::string& source) {
    std::string out;
    out.reserve(source.size());
    for (std::size_t i = 0; i < source.size();) {
        // 'т': a quote, one Cyrillic letter (two bytes), a quote.
        if (source[i] == '\'' && i + 3 < source.size() && source[i + 3] == '\'' &&
            (static_cast<unsigned char>(source[i + 1]) & 0xE0) == 0xC0) {
            const std::u32string letter = utf8_to_utf32(source.substr(i + 1, 2));
            const std::int32_t id = letter.size() == 1 ? SymbolMap::instance().find(letter[0]) : -1;
            if (id >= 0) {
                out += std::to_string(id);
                i += 4;
                continue;
            }
        }
        if (source.compare(i, 3, "PH_") == 0 && i + 3 < source.size() &&
            std::islower(static_cast<unsigned char>(source[i + 3]))) {
            std::size_t end = i + 3;
            while (end < source.size() && std::islower(static_cast<unsigned char>(source[end])))
                ++end;
            const std::string name = source.substr(i + 3, end - i - 3);
            const int id = phone_id(name);
            if (id < 0) throw std::runtime_error("Unknown phone in the voice source: PH_" + name);
            out += std::to_string(id);
            i = end;
            continue;
        }
        out += source[i++];
    }
    return out;
}

torch::jit::Module recorded_voice_module(const std::string& source, const VoiceInventory& inv,
                                         const StressGuess& stress, std::string* summary) {
    torch::jit::Module m("RecordedVoice");
    m.register_buffer("letters", letter_table());
    c10::List<std::string> texts;
    for (int id = 0; id < 85; ++id) texts.push_back(symbol_text(id));
    m.register_attribute("letter_text", c10::ListType::ofStrings(), texts);
    m.register_buffer("phone_info", phone_table());
    m.register_buffer("phone_distance", distance_table());
    m.register_buffer("durations", floats(inv.durations, {kPhoneCount, 2}));
    const ProsodyFigures& p = inv.prosody;
    m.register_buffer("prosody", floats({p.log_f0_base, p.comma_pause, p.sentence_pause}));
    m.register_buffer("melody", floats(std::vector<float>(&p.melody[0][0][0],
                                                          &p.melody[0][0][0] + 4 * kMelodySteps),
                                       {2, 2, kMelodySteps}));
    m.register_buffer("speakers", speaker_table());
    m.register_buffer("suffix_keys", ints(stress.suffix_keys));
    m.register_buffer("suffix_vowel", ints(stress.suffix_vowel));
    std::vector<std::int64_t> unstressed = stress.unstressed_words;
    if (unstressed.empty()) unstressed.push_back(-1);  // searchsorted needs a row
    m.register_buffer("unstressed_words", ints(unstressed));
    m.register_buffer("stress_default", ints({stress.default_vowel}));

    const auto units = static_cast<std::int64_t>(inv.units.size());
    std::vector<std::int64_t> span, context, next, source_of, phones_of;
    std::vector<float> before_pause, f0, energy, cep_left, cep_right, gain;
    for (const RecordedUnit& u : inv.units) {
        span.insert(span.end(), {u.stored_start, u.length, u.stored_start + u.core_start,
                                 u.stored_start + u.boundary, u.stored_start + u.core_end,
                                 u.mark_begin, u.mark_end});
        context.insert(context.end(), {u.left_context, u.right_context});
        phones_of.insert(phones_of.end(), {u.left_phone, u.right_phone});
        next.push_back(u.next);
        source_of.insert(source_of.end(), {u.utterance, u.source_start});
        before_pause.push_back(u.before_pause ? 1.0f : 0.0f);
        f0.insert(f0.end(), {u.log_f0, u.f0_left, u.f0_right});
        energy.insert(energy.end(), {u.energy_left, u.energy_right});
        cep_left.insert(cep_left.end(), u.cep_left.begin(), u.cep_left.end());
        cep_right.insert(cep_right.end(), u.cep_right.begin(), u.cep_right.end());
        gain.push_back(u.gain);
    }
    m.register_buffer("unit_span", ints(span, {units, 7}));
    m.register_buffer("unit_context", ints(context, {units, 2}));
    m.register_buffer("unit_phones", ints(phones_of, {units, 2}));
    m.register_buffer("unit_next", ints(next));
    m.register_buffer("unit_source",
                      ints(source_of, {units, 2}));  // recording number, first sample
    m.register_buffer("unit_gain", floats(gain));
    m.register_buffer("unit_before_pause", floats(before_pause));
    m.register_buffer("unit_f0", floats(f0, {units, 3}));
    m.register_buffer("unit_energy", floats(energy, {units, 2}));
    m.register_buffer("unit_cep_left", floats(cep_left, {units, kJoinOrder}));
    m.register_buffer("unit_cep_right", floats(cep_right, {units, kJoinOrder}));
    m.register_buffer("candidates",
                      ints(std::vector<std::int64_t>(inv.candidates.begin(), inv.candidates.end()),
                           {kPhoneCount * kPhoneCount, inv.candidates_per_pair}));
    m.register_buffer("substitution_cost", floats(inv.substitution_cost));
    m.register_buffer("mark_position", ints(std::vector<std::int64_t>(inv.mark_position.begin(),
                                                                      inv.mark_position.end())));
    m.register_buffer("mark_period",
                      floats(std::vector<float>(inv.mark_period.begin(), inv.mark_period.end())));
    m.register_buffer(
        "mark_voiced",
        torch::tensor(std::vector<std::int64_t>(inv.mark_voiced.begin(), inv.mark_voiced.end()))
            .to(torch::kBool));
    m.register_buffer(
        "samples", torch::from_blob(const_cast<std::int16_t*>(inv.samples.data()),
                                    {static_cast<std::int64_t>(inv.samples.size())}, torch::kInt16)
                       .clone());
    m.register_buffer("upsample_phases", upsample_phases());
    m.register_buffer("break_tree", constant_tree(0.0f));
    m.register_buffer("pause_tree", constant_tree(p.comma_pause));
    m.register_buffer("pitch_tree", constant_tree(0.0f));
    m.register_buffer("duration_tree", constant_tree(std::log(0.07f)));
    m.register_buffer("phrasing", floats({24.0f, 3.0f, 1.0f, p.sentence_pause, 1.0f}));
    m.define(expand_voice_source(source));
    // The prosody trees learn from the module's own reading of the
    // speaker's sentences (a source without that reading keeps the one-leaf
    // trees).
    if (m.find_method("phone_features")) {
        const LearntProsody learnt = learn_prosody(m, inv);
        m.setattr("break_tree", tree_table(learnt.breaks));
        m.setattr("pause_tree", tree_table(learnt.pauses));
        m.setattr("pitch_tree", tree_table(learnt.pitch));
        m.setattr("duration_tree", tree_table(learnt.lengths));
        m.setattr("phrasing", floats({learnt.longest_phrase, learnt.shortest_phrase,
                                      learnt.pitch_scale, learnt.sentence_pause,
                                      learnt.length_scale}));
        m.setattr("prosody", floats({learnt.pitch_base, p.comma_pause, p.sentence_pause}));
        if (summary) *summary = learnt.summary;
    }
    m.eval();
    return m;
}

void write_recorded_voice(const std::string& source_path, const std::string& inventory_path,
                          const std::string& corpus_dir, const std::string& out_path) {
    const std::string source = read_text(source_path, "voice source");
    const VoiceInventory inv = read_inventory(inventory_path);
    const StressGuess stress = learn_stress_guess(corpus_dir);
    std::string summary;
    pack_module(recorded_voice_module(source, inv, stress, &summary), out_path);
    if (!summary.empty()) std::cout << "recorded voice: " << summary << "\n";
}

}  // namespace zelvan_tts::voice
