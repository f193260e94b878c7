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
                                         const std::vector<std::int64_t>& kinds) {
    const c10::IValue rows =
        m.run_method("phone_features", int_list(ph), int_list(strs), int_list(info), int_list(kinds));
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
    int used = 0;
    for (const LabelledSentence& s : inv.sentences) {
        std::string text;
        for (char c : s.text)
            if (c != ',') text += c;
        c10::List<std::int64_t> ids;
        for (std::int64_t id : encode_text(text, SymbolMap::instance())) ids.push_back(id);
        const auto out = m.run_method("transcribe", ids, std::int64_t{0}, true).toTuple();
        const std::vector<c10::IValue> e(out->elements().begin(), out->elements().end());
        std::vector<std::int64_t> ph = e[0].toIntList().vec(), strs = e[2].toIntList().vec(),
                                  info = e[4].toIntList().vec(), kinds = e[5].toIntList().vec();
        std::vector<double> lens = e[3].toDoubleList().vec();

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
        const auto rows = features(m, ph, strs, info, kinds);
        std::vector<double> cut_after(ph.size(), 0.0);
        for (std::size_t k = 0; k + 1 < ph.size(); ++k) {
            if (ph[k] == kPause || ph[k + 1] == kPause || (info[k] != 8 && info[k] != 10)) continue;
            const int l0 = label_of[k], l1 = label_of[k + 1];
            if (l0 < 0 || l1 <= l0) continue;
            double pause = 0;
            for (int l = l0 + 1; l < l1; ++l)
                if (s.labels[static_cast<std::size_t>(l)].phone == kPause) pause += length_of(l);
            breaks.add(rows[k], pause > 0 ? 1.0f : 0.0f);
            cut_after[k] = pause;
        }

        // The sentence with his breaks: pauses, pitch and lengths.
        std::vector<std::int64_t> ph2, strs2, info2;
        std::vector<double> lens2, pause2;
        std::vector<int> from;
        for (std::size_t k = 0; k < ph.size(); ++k) {
            ph2.push_back(ph[k]);
            strs2.push_back(strs[k]);
            info2.push_back(info[k]);
            lens2.push_back(lens[k]);
            pause2.push_back(0);
            from.push_back(static_cast<int>(k));
            if (cut_after[k] > 0) {
                ph2.push_back(kPause);
                strs2.push_back(0);
                info2.push_back(1);
                lens2.push_back(1.0);
                pause2.push_back(cut_after[k]);
                from.push_back(-1);
            }
        }
        const auto rows2 = features(m, ph2, strs2, info2, kinds);
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
    // A tree's leaves are averages: scale its pitch back to his spread.
    double mt = 0, mp = 0;
    std::vector<float> predicted;
    for (std::size_t i = 0; i < pitch.rows.size(); ++i) {
        predicted.push_back(tree_value(p.pitch, pitch.rows[i]));
        mt += pitch.targets[i];
        mp += predicted.back();
    }
    mt /= static_cast<double>(predicted.size());
    mp /= static_cast<double>(predicted.size());
    double vt = 0, vp = 0;
    for (std::size_t i = 0; i < predicted.size(); ++i) {
        vt += (pitch.targets[i] - mt) * (pitch.targets[i] - mt);
        vp += (predicted[i] - mp) * (predicted[i] - mp);
    }
    p.pitch_scale = static_cast<float>(std::clamp(std::sqrt(vt / std::max(vp, 1e-9)), 1.0, 1.7));
    p.longest_phrase = static_cast<float>(std::max(6.0, percentile(phrase_syllables, 0.9)));
    p.shortest_phrase = static_cast<float>(std::clamp(percentile(phrase_syllables, 0.1), 2.0, 5.0));
    p.sentence_pause = static_cast<float>(std::clamp(percentile(break_pauses, 0.9), 0.3, 0.8));
    std::ostringstream summary;
    summary << "prosody learnt from " << used << " of " << inv.sentences.size()
            << " sentences: " << breaks.rows.size() << " word boundaries ("
            << break_pauses.size() << " breaks), " << pitch.rows.size() << " vowels, "
            << lengths.rows.size() << " phones; pitch spread x" << p.pitch_scale
            << ", phrases of " << p.shortest_phrase << " to " << p.longest_phrase
            << " syllables, sentence pause " << p.sentence_pause << " s";
    p.summary = summary.str();
    return p;
}

}  // namespace zelvan_tts::voice
