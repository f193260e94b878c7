#include "voice/prosody_learning.h"

#include "shared/symbols/symbols.h"
#include "voice/phone_set.h"
#include "voice/unit_inventory.h"

#include <torch/script.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

namespace zelvan_tts::voice {

namespace {

bool is_vowel(std::int64_t p) {
    return phones[static_cast<std::size_t>(p)].kind == PhoneKind::Vowel;
}

c10::List<std::int64_t> int_list(const std::vector<std::int64_t>& v) {
    c10::List<std::int64_t> out;
    for (std::int64_t x : v) out.push_back(x);
    return out;
}

std::vector<std::vector<float>> features(torch::jit::Module& m, const std::vector<std::int64_t>& ph,
                                         const std::vector<std::int64_t>& strs,
                                         const std::vector<std::int64_t>& info,
                                         const std::vector<std::int64_t>& kinds,
                                         const std::vector<std::int64_t>& marks) {
    const c10::IValue rows = m.run_method("phone_features", int_list(ph), int_list(strs),
                                          int_list(info), int_list(kinds), int_list(marks));
    std::vector<std::vector<float>> out;
    for (const c10::IValue& r : rows.toListRef()) {
        const auto v = r.toDoubleList().vec();
        out.emplace_back(v.begin(), v.end());
    }
    return out;
}

// For every phone of `a`, the index of the phone of `b` it stands for in
// the cheapest alignment (-1 where it was inserted); a different phone of
// the same kind costs less than one of another kind.
std::vector<int> align(const std::vector<std::int64_t>& a, const std::vector<std::int64_t>& b) {
    const std::size_t n = a.size(), m = b.size();
    std::vector<float> cost((n + 1) * (m + 1), 0.0f);
    const auto at = [&](std::size_t i, std::size_t j) -> float& { return cost[i * (m + 1) + j]; };
    for (std::size_t i = 0; i <= n; ++i) at(i, 0) = static_cast<float>(i);
    for (std::size_t j = 0; j <= m; ++j) at(0, j) = static_cast<float>(j);
    const auto sub = [&](std::size_t i, std::size_t j) {
        if (a[i] == b[j]) return 0.0f;
        return phones[static_cast<std::size_t>(a[i])].kind ==
                       phones[static_cast<std::size_t>(b[j])].kind
                   ? 0.6f
                   : 1.6f;
    };
    for (std::size_t i = 1; i <= n; ++i)
        for (std::size_t j = 1; j <= m; ++j)
            at(i, j) = std::min({at(i - 1, j) + 1.0f, at(i, j - 1) + 1.0f,
                                 at(i - 1, j - 1) + sub(i - 1, j - 1)});
    std::vector<int> out(n, -1);
    std::size_t i = n, j = m;
    while (i > 0 && j > 0) {
        if (at(i, j) == at(i - 1, j - 1) + sub(i - 1, j - 1)) {
            out[i - 1] = static_cast<int>(j - 1);
            --i;
            --j;
        } else if (at(i, j) == at(i - 1, j) + 1.0f) {
            --i;
        } else {
            --j;
        }
    }
    return out;
}

double percentile(std::vector<double> v, double q) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
}

}  // namespace

LearntProsody learn_prosody(torch::jit::Module& m, const VoiceInventory& inv) {
    const float base = inv.prosody.log_f0_base;
    TreeData breaks, pauses, pitch, lengths;
    std::vector<double> phrase_syllables, break_pauses;
    double frame_spread = 0, vowel_spread = 0;  // summed over the sentences used
    int used = 0;
    for (const LabelledSentence& s : inv.sentences) {
        c10::List<std::int64_t> ids;
        for (std::int64_t id : encode_text(s.text, SymbolMap::instance())) ids.push_back(id);
        const auto out = m.run_method("transcribe", ids, std::int64_t{0}, true).toTuple();
        const std::vector<c10::IValue> e(out->elements().begin(), out->elements().end());
        // The commas come out as marks on their words, as the voice reads.
        c10::List<std::int64_t> ph_l = e[0].toIntList(), pos_l = e[1].toIntList(),
                                strs_l = e[2].toIntList(), info_l = e[4].toIntList();
        c10::List<double> lens_l = e[3].toDoubleList();
        const std::vector<std::int64_t> marks =
            m.run_method("fold_commas", ph_l, pos_l, strs_l, lens_l, info_l).toIntList().vec();
        std::vector<std::int64_t> ph = ph_l.vec(), strs = strs_l.vec(), info = info_l.vec(),
                                  kinds = e[5].toIntList().vec();
        std::vector<double> lens = lens_l.vec();
        if (marks.size() != ph.size()) throw std::runtime_error("The voice's comma folding lost its phones");

        // Align the spoken phones with the labelled ones, pauses left out.
        std::vector<std::int64_t> a, b;
        std::vector<int> a_at, b_at;
        for (std::size_t k = 0; k < ph.size(); ++k)
            if (ph[k] != kPause) {
                a.push_back(ph[k]);
                a_at.push_back(static_cast<int>(k));
            }
        for (std::size_t l = 0; l < s.labels.size(); ++l)
            if (s.labels[l].phone != kPause) {
                b.push_back(s.labels[l].phone);
                b_at.push_back(static_cast<int>(l));
            }
        if (a.empty() || b.empty()) continue;
        const std::vector<int> match = align(a, b);
        std::vector<int> label_of(ph.size(), -1);
        std::size_t same = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (match[i] >= 0) {
                label_of[static_cast<std::size_t>(a_at[i])] = b_at[static_cast<std::size_t>(match[i])];
                same += a[i] == b[static_cast<std::size_t>(match[i])] ? 1 : 0;
            }
        if (same < b.size() * 85 / 100) continue;  // read too differently to learn from
        ++used;
        {
            double sum = 0, squares = 0;
            int count = 0;
            for (float f : s.log_f0)
                if (f > 0) sum += f, squares += static_cast<double>(f) * f, ++count;
            if (count > 1) {
                const double mean = sum / count;
                vowel_spread += std::sqrt(std::max(0.0, squares / count - mean * mean));
                frame_spread += s.pitch_spread;
            }
        }
        const auto length_of = [&](int l) {
            return s.labels[static_cast<std::size_t>(l)].end -
                   (l > 0 ? s.labels[static_cast<std::size_t>(l) - 1].end : 0.0);
        };
        // His stress, where the labels show it.
        for (std::size_t k = 0; k < ph.size(); ++k) {
            const int l = label_of[k];
            if (l >= 0 && is_vowel(ph[k]) && is_vowel(s.labels[static_cast<std::size_t>(l)].phone))
                strs[k] = phones[static_cast<std::size_t>(s.labels[static_cast<std::size_t>(l)].phone)]
                                      .reduction == 0
                              ? 1
                              : 0;
        }

        // Breaks between words: rows of the sentence read without them.
        const auto rows = features(m, ph, strs, info, kinds, marks);
        std::vector<double> cut_after(ph.size(), 0.0);
        for (std::size_t k = 0; k + 1 < ph.size(); ++k) {
            if (ph[k] == kPause || ph[k + 1] == kPause || (info[k] != 8 && info[k] != 10)) continue;
            const int l0 = label_of[k], l1 = label_of[k + 1];
            if (l0 < 0 || l1 <= l0) continue;
            double pause = 0;
            for (int l = l0 + 1; l < l1; ++l)
                if (s.labels[static_cast<std::size_t>(l)].phone == kPause) pause += length_of(l);
            // A comma always gets its pause back, its length (maybe none)
            // learnt; elsewhere a break is a pause of 50 ms or more.
            if (marks[k] > 0) {
                cut_after[k] = std::max(pause, 1e-6);
            } else {
                breaks.add(rows[k], pause >= 0.05 ? 1.0f : 0.0f);
                cut_after[k] = pause >= 0.05 ? pause : 0.0;
            }
        }

        // The sentence with his breaks: pauses, pitch and lengths.
        std::vector<std::int64_t> ph2, strs2, info2, marks2;
        std::vector<double> lens2, pause2;
        std::vector<int> from;
        for (std::size_t k = 0; k < ph.size(); ++k) {
            ph2.push_back(ph[k]);
            strs2.push_back(strs[k]);
            info2.push_back(info[k]);
            marks2.push_back(marks[k]);
            lens2.push_back(lens[k]);
            pause2.push_back(0);
            from.push_back(static_cast<int>(k));
            if (cut_after[k] > 0) {
                ph2.push_back(kPause);
                strs2.push_back(0);
                info2.push_back(1);
                marks2.push_back(0);
                lens2.push_back(1.0);
                pause2.push_back(cut_after[k]);
                from.push_back(-1);
            }
        }
        const auto rows2 = features(m, ph2, strs2, info2, kinds, marks2);
        int syllables = 0;
        for (std::size_t q = 0; q < ph2.size(); ++q) {
            if (ph2[q] == kPause) {
                if (syllables > 0) phrase_syllables.push_back(syllables);
                syllables = 0;
            } else if (is_vowel(ph2[q])) {
                ++syllables;
            }
            if (from[q] < 0) {
                pauses.add(rows2[q - 1], static_cast<float>(pause2[q]));
                break_pauses.push_back(pause2[q]);
                continue;
            }
            const int l = label_of[static_cast<std::size_t>(from[q])];
            if (l < 0) continue;
            const PhoneLabel& label = s.labels[static_cast<std::size_t>(l)];
            const float f0 = s.log_f0[static_cast<std::size_t>(l)];
            if (is_vowel(ph2[q]) && is_vowel(label.phone) && f0 > 0) pitch.add(rows2[q], f0 - base);
            const double d = length_of(l);
            if (ph2[q] == label.phone && d > 0.005 && lens2[q] > 0)
                lengths.add(rows2[q], static_cast<float>(std::log(d / lens2[q])));
        }
        if (syllables > 0) phrase_syllables.push_back(syllables);
    }
    if (used < 50 || breaks.rows.empty() || pauses.rows.empty())
        throw std::runtime_error("Too few of the speaker's sentences align with their reading");

    // The pitch tree learns deviations from his mean, so that restoring the
    // spread scales them around it.
    double mean_pitch = 0;
    for (float t : pitch.targets) mean_pitch += t;
    mean_pitch /= static_cast<double>(std::max<std::size_t>(1, pitch.targets.size()));
    for (float& t : pitch.targets) t -= static_cast<float>(mean_pitch);
    LearntProsody p;
    p.pitch_base = base + static_cast<float>(mean_pitch);
    p.breaks = grow_tree(breaks, {6, 30});
    p.pauses = grow_tree(pauses, {5, 20});
    p.pitch = grow_tree(pitch, {8, 30});
    p.lengths = grow_tree(lengths, {9, 30});
    // A tree's leaves are averages: its pitch is scaled back to his spread,
    // and its lengths to his mean length (the exponent of a mean log is
    // short of it).
    double vt = 0, vp = 0, mp = 0;
    std::vector<double> predicted_pitch;
    for (const auto& row : pitch.rows) {
        predicted_pitch.push_back(tree_value(p.pitch, row));
        mp += predicted_pitch.back() / static_cast<double>(pitch.rows.size());
    }
    for (std::size_t i = 0; i < pitch.rows.size(); ++i) {
        vt += static_cast<double>(pitch.targets[i]) * pitch.targets[i];  // centred above
        vp += (predicted_pitch[i] - mp) * (predicted_pitch[i] - mp);
    }
    // His pitch also moves inside a vowel, which one target per vowel does
    // not carry: the spread of his vowels' pitch is brought up to that of
    // all his voiced frames.
    const double inside = std::clamp(frame_spread / std::max(vowel_spread, 1e-9), 1.0, 1.5);
    p.pitch_scale =
        static_cast<float>(std::clamp(std::sqrt(vt / std::max(vp, 1e-9)) * inside, 1.0, 2.4));
    double natural = 0, predicted = 0;
    for (std::size_t i = 0; i < lengths.rows.size(); ++i) {
        natural += std::exp(lengths.targets[i]);
        predicted += std::exp(tree_value(p.lengths, lengths.rows[i]));
    }
    p.length_scale = static_cast<float>(natural / std::max(predicted, 1e-9));
    p.longest_phrase = static_cast<float>(std::max(6.0, percentile(phrase_syllables, 0.97)));
    p.shortest_phrase = static_cast<float>(std::clamp(percentile(phrase_syllables, 0.1), 2.0, 5.0));
    p.sentence_pause = static_cast<float>(std::clamp(percentile(break_pauses, 0.75), 0.3, 0.8));
    std::ostringstream summary;
    summary << "prosody learnt from " << used << " of " << inv.sentences.size()
            << " sentences: " << breaks.rows.size() << " word boundaries ("
            << break_pauses.size() << " breaks), " << pitch.rows.size() << " vowels, "
            << lengths.rows.size() << " phones; pitch spread x" << p.pitch_scale
            << ", lengths x" << p.length_scale
            << ", phrases of " << p.shortest_phrase << " to " << p.longest_phrase
            << " syllables, sentence pause " << p.sentence_pause << " s";
    p.summary = summary.str();
    return p;
}

}  // namespace zelvan_tts::voice
