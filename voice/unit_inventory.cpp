#include "voice/unit_inventory.h"

#include "voice/corpus.h"
#include "voice/pitch_marks.h"
#include "voice/spectral_measures.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <numeric>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zelvan_tts::voice {

namespace {

constexpr int kRate = kCorpusRate;
constexpr double kPauseKept = 0.08;  // seconds of a pause kept beside speech
constexpr float kSpeechRms = 0.08f;  // the level every recording is brought to
// Samples kept beyond a diphone's core on each side, so that the voice can
// blend both units across a joint (some 15 ms at up to 1.5 times the pace).
constexpr int kJoinReach = 400;

bool is_vowel(int p) { return phones[static_cast<std::size_t>(p)].kind == PhoneKind::Vowel; }
bool is_voiced_phone(int p) {
    const PhoneKind k = phones[static_cast<std::size_t>(p)].kind;
    return k == PhoneKind::Vowel || k == PhoneKind::Sonorant;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// One training recording and what the analysis found in it.
struct Recording {
    Utterance utterance;
    std::vector<PhoneLabel> labels;
    std::vector<std::int16_t> raw;
    std::vector<float> pitch;
    std::vector<PitchMark> marks;
    float gain = 1.0f;
    double polarity = 0.0;

    double start_of(std::size_t i) const { return i == 0 ? 0.0 : labels[i - 1].end; }
    std::vector<float> levelled() const {
        std::vector<float> x(raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i)
            x[i] = static_cast<float>(raw[i]) / 32768.0f * gain;
        return x;
    }
};

// One recorded diphone before the choice; unit offsets count from the
// recording's start.
struct Instance {
    int recording = 0;
    int label = 0;  // index of its left phone
    RecordedUnit unit;
    float left_seconds = 0.0f;
    float right_seconds = 0.0f;
};

template <typename Work>
void in_parallel(std::size_t count, int threads, Work work) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    std::exception_ptr failure;
    std::mutex failure_lock;
    for (int t = 0; t < std::max(1, threads); ++t) {
        pool.emplace_back([&] {
            for (std::size_t i; (i = next++) < count;) {
                try {
                    work(i);
                } catch (...) {
                    std::lock_guard<std::mutex> lock(failure_lock);
                    if (!failure) failure = std::current_exception();
                }
            }
        });
    }
    for (auto& t : pool) t.join();
    if (failure) std::rethrow_exception(failure);
}

float log_rms(const std::vector<float>& x, long centre) {
    double sum = 1e-10;
    int n = 0;
    for (long i = centre - 160; i < centre + 160; ++i) {
        if (i < 0 || i >= static_cast<long>(x.size())) continue;
        sum += static_cast<double>(x[static_cast<std::size_t>(i)]) * x[static_cast<std::size_t>(i)];
        ++n;
    }
    return static_cast<float>(0.5 * std::log(sum / std::max(1, n)));
}

float log_pitch_at(const std::vector<float>& pitch, long sample) {
    const long frame = std::lround(static_cast<double>(sample) / kPitchHop);
    for (long f : {frame, frame - 1, frame + 1}) {
        if (f >= 0 && f < static_cast<long>(pitch.size()) && pitch[static_cast<std::size_t>(f)] > 0)
            return std::log(pitch[static_cast<std::size_t>(f)]);
    }
    return 0.0f;
}

// Pitch of a labelled vowel: the median over its middle third, 0 if unvoiced.
float vowel_log_pitch(const Recording& r, std::size_t i) {
    const double s = r.start_of(i), e = r.labels[i].end, third = (e - s) / 3;
    std::vector<double> v;
    for (long f = std::lround((s + third) * kRate / kPitchHop);
         f <= std::lround((e - third) * kRate / kPitchHop); ++f)
        if (f >= 0 && f < static_cast<long>(r.pitch.size()) &&
            r.pitch[static_cast<std::size_t>(f)] > 0)
            v.push_back(std::log(r.pitch[static_cast<std::size_t>(f)]));
    return v.empty() ? 0.0f : static_cast<float>(median(v));
}

// The labels put the edges of a pause where an aligner did, often some tens
// of milliseconds off the speech: each is moved to where the level crosses
// 30 dB under the recording's loud speech, within 80 ms, so that a word's
// sound begins and ends with its phones.
void align_pauses(std::vector<PhoneLabel>& labels, const std::vector<float>& x) {
    constexpr int kHop = 80;  // 5 ms frames, 10 ms windows
    std::vector<double> level(x.size() / kHop + 1, -100.0);
    for (std::size_t f = 0; f < level.size(); ++f) {
        double sum = 1e-12;
        for (long k = static_cast<long>(f) * kHop - kHop; k < static_cast<long>(f) * kHop + kHop;
             ++k)
            if (k >= 0 && k < static_cast<long>(x.size()))
                sum += static_cast<double>(x[static_cast<std::size_t>(k)]) *
                       x[static_cast<std::size_t>(k)];
        level[f] = 10 * std::log10(sum / (2 * kHop));
    }
    std::vector<double> sorted = level;
    std::sort(sorted.begin(), sorted.end());
    const double threshold = sorted[sorted.size() * 95 / 100] - 30.0;
    const auto frame_of = [&](double t) {
        return std::clamp<long>(std::lround(t * kRate / kHop), 0,
                                static_cast<long>(level.size()) - 1);
    };
    const auto start_of = [&](std::size_t i) { return i == 0 ? 0.0 : labels[i - 1].end; };
    for (std::size_t i = 1; i + 1 <= labels.size(); ++i) {
        const bool into_pause = labels[i].phone == kPause && labels[i - 1].phone != kPause;
        const bool out_of_pause = labels[i - 1].phone == kPause && labels[i].phone != kPause;
        if (!into_pause && !out_of_pause) continue;
        // Keep 20 ms of both neighbours.
        const double lo = start_of(i - 1) + 0.02, hi = labels[i].end - 0.02,
                     edge = labels[i - 1].end;
        if (hi <= lo) continue;
        const long a = frame_of(std::max(lo, edge - 0.08)), b = frame_of(std::min(hi, edge + 0.08));
        double moved = edge;
        if (into_pause) {  // the last loud frame before the pause
            for (long f = b; f >= a; --f)
                if (level[static_cast<std::size_t>(f)] > threshold) {
                    moved = (static_cast<double>(f) * kHop + kHop / 2) / kRate;
                    break;
                }
        } else {  // the first loud frame after it
            for (long f = a; f <= b; ++f)
                if (level[static_cast<std::size_t>(f)] > threshold) {
                    moved = (static_cast<double>(f) * kHop - kHop / 2) / kRate;
                    break;
                }
        }
        labels[i - 1].end = std::clamp(moved, lo, hi);
    }
}

void analyse(Recording& r, const std::string& corpus_dir) {
    r.labels = read_labels(corpus_dir, r.utterance.name);
    r.raw = read_recording(corpus_dir, r.utterance.name);
    if (r.labels.empty()) throw std::runtime_error("No phone labels for " + r.utterance.name);
    std::vector<float> x(r.raw.size());
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(r.raw[i]) / 32768.0f;
    align_pauses(r.labels, x);
    r.pitch = track_pitch(x);
    r.polarity = pulse_polarity(x, r.pitch);
    double sum = 0.0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < r.labels.size(); ++i) {
        if (r.labels[i].phone == kPause) continue;
        const auto a = static_cast<std::size_t>(r.start_of(i) * kRate);
        const auto b = std::min(x.size(), static_cast<std::size_t>(r.labels[i].end * kRate));
        for (std::size_t k = a; k < b; ++k) sum += static_cast<double>(x[k]) * x[k];
        n += b > a ? b - a : 0;
    }
    const double rms = n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
    r.gain = rms > 1e-4 ? static_cast<float>(kSpeechRms / rms) : 1.0f;
}

// Phones from the last vowel before a pause up to it are phrase-final.
std::vector<bool> phrase_final(const std::vector<PhoneLabel>& labels) {
    std::vector<bool> out(labels.size(), false);
    bool zone = true;
    for (std::size_t i = labels.size(); i-- > 0;) {
        if (labels[i].phone == kPause) {
            zone = true;
            continue;
        }
        out[i] = zone;
        if (is_vowel(labels[i].phone)) zone = false;
    }
    return out;
}

std::vector<float> phone_durations(const std::vector<Recording>& recs) {
    std::vector<std::vector<double>> inside(kPhoneCount), at_end(kPhoneCount);
    std::vector<double> pauses;
    for (const Recording& r : recs) {
        const std::vector<bool> final = phrase_final(r.labels);
        for (std::size_t i = 0; i < r.labels.size(); ++i) {
            const double d = r.labels[i].end - r.start_of(i);
            if (d <= 0) continue;
            const int p = r.labels[i].phone;
            if (p == kPause) {
                if (i > 0 && i + 1 < r.labels.size()) pauses.push_back(d);
                continue;
            }
            (final[i] ? at_end : inside)[static_cast<std::size_t>(p)].push_back(std::log(d));
        }
    }
    std::vector<double> stretch;
    for (int p = 1; p < kPhoneCount; ++p)
        if (inside[p].size() >= 8 && at_end[p].size() >= 8)
            stretch.push_back(median(at_end[p]) - median(inside[p]));
    const double common_stretch = median(stretch);
    std::vector<float> out(2 * kPhoneCount);
    const double pause = std::clamp(median(pauses), 0.12, 0.5);
    out[0] = out[1] = static_cast<float>(pause);
    for (int p = 1; p < kPhoneCount; ++p) {
        const double in = inside[p].empty() ? std::log(0.07) : median(inside[p]);
        const double end = at_end[p].size() >= 8 ? median(at_end[p]) : in + common_stretch;
        out[2 * p] = static_cast<float>(std::exp(in));
        out[2 * p + 1] = static_cast<float>(std::exp(end));
    }
    return out;
}

// The speaker's melody: the median pitch of his vowels by where they stand
// in the phrase (five fifths of its time), stressed or not, in phrases that
// end a sentence or a comma's. A reader's phrase starts on high accents and
// falls, at a sentence's end deep.
ProsodyFigures prosody_figures(const std::vector<Recording>& recs, float pause) {
    std::vector<double> all;
    std::vector<double> cells[2][2][kMelodySteps];
    for (const Recording& r : recs) {
        std::size_t last_speech = r.labels.size();
        while (last_speech > 0 && r.labels[last_speech - 1].phone == kPause) --last_speech;
        for (std::size_t i = 0; i < r.labels.size();) {
            if (r.labels[i].phone == kPause) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < r.labels.size() && r.labels[j].phone != kPause) ++j;
            const double start = r.start_of(i),
                         length = std::max(1e-3, r.labels[j - 1].end - start);
            const int terminal = j >= last_speech ? 1 : 0;
            for (std::size_t k = i; k < j; ++k) {
                if (!is_vowel(r.labels[k].phone)) continue;
                const float f = vowel_log_pitch(r, k);
                if (f <= 0) continue;
                const double mid = 0.5 * (r.start_of(k) + r.labels[k].end);
                const int step = std::min(kMelodySteps - 1,
                                          static_cast<int>((mid - start) / length * kMelodySteps));
                const int stressed =
                    phones[static_cast<std::size_t>(r.labels[k].phone)].reduction == 0 ? 1 : 0;
                cells[terminal][stressed][step].push_back(f);
                all.push_back(f);
            }
            i = j;
        }
    }
    ProsodyFigures f;
    f.log_f0_base = static_cast<float>(median(all));
    for (int t = 0; t < 2; ++t)
        for (int s = 0; s < 2; ++s)
            for (int k = 0; k < kMelodySteps; ++k) {
                const auto& c = cells[t][s][k];
                f.melody[t][s][k] =
                    c.size() >= 5 ? static_cast<float>(median(c)) - f.log_f0_base : 0.0f;
            }
    f.comma_pause = pause;
    f.sentence_pause = std::clamp(1.6f * pause, 0.3f, 0.7f);
    return f;
}

std::vector<Instance> instances_of(const Recording& r, int index) {
    std::vector<Instance> out;
    const std::vector<float> x = r.levelled();
    const std::vector<bool> final = phrase_final(r.labels);
    for (std::size_t i = 0; i + 1 < r.labels.size(); ++i) {
        const int a = r.labels[i].phone, b = r.labels[i + 1].phone;
        if (a == kPause && b == kPause) continue;
        const double sa = r.start_of(i), ea = r.labels[i].end, eb = r.labels[i + 1].end;
        double core_start = 0.5 * (sa + ea), core_end = 0.5 * (ea + eb);
        if (a == kPause) core_start = std::max(core_start, ea - kPauseKept);
        if (b == kPause) core_end = std::min(core_end, ea + kPauseKept);
        Instance in;
        in.recording = index;
        in.label = static_cast<int>(i);
        RecordedUnit& u = in.unit;
        u.left_phone = a;
        u.right_phone = b;
        u.utterance = r.utterance.number;
        u.core_start = static_cast<int>(std::lround(core_start * kRate));
        u.boundary = static_cast<int>(std::lround(ea * kRate));
        u.core_end = std::min(static_cast<int>(std::lround(core_end * kRate)),
                              static_cast<int>(x.size()) - 1);
        if (u.boundary - u.core_start < 2 || u.core_end - u.boundary < 2) continue;
        u.left_context = i > 0 ? r.labels[i - 1].phone : kPause;
        u.right_context = i + 2 < r.labels.size() ? r.labels[i + 2].phone : kPause;
        u.before_pause = b != kPause && final[i + 1] && u.right_context == kPause;
        double sum = 0;
        int voiced = 0;
        for (long f = u.core_start / kPitchHop; f <= u.core_end / kPitchHop; ++f)
            if (f < static_cast<long>(r.pitch.size()) && r.pitch[static_cast<std::size_t>(f)] > 0) {
                sum += std::log(r.pitch[static_cast<std::size_t>(f)]);
                ++voiced;
            }
        u.log_f0 = voiced ? static_cast<float>(sum / voiced) : 0.0f;
        u.f0_left = log_pitch_at(r.pitch, u.core_start);
        u.f0_right = log_pitch_at(r.pitch, u.core_end);
        u.energy_left = log_rms(x, u.core_start);
        u.energy_right = log_rms(x, u.core_end);
        const std::vector<float> cl = mel_cepstrum_at(x, u.core_start, kJoinOrder);
        const std::vector<float> cr = mel_cepstrum_at(x, u.core_end, kJoinOrder);
        std::copy(cl.begin() + 1, cl.end(), u.cep_left.begin());
        std::copy(cr.begin() + 1, cr.end(), u.cep_right.begin());
        u.gain = r.gain;
        in.left_seconds = static_cast<float>(u.boundary - u.core_start) / kRate;
        in.right_seconds = static_cast<float>(u.core_end - u.boundary) / kRate;
        out.push_back(in);
    }
    return out;
}

float cep_distance(const std::array<float, kJoinOrder>& a, const std::array<float, kJoinOrder>& b) {
    float s = 0;
    for (int i = 0; i < kJoinOrder; ++i) s += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(s);
}

// The instances of one phone pair worth keeping: typical in length, pitch
// and spectrum, in as many different surroundings as possible, and next to
// instances already kept, so that the selector finds stretches recorded in
// one piece.
std::vector<int> choose(const std::vector<Instance>& all, const std::vector<int>& of_pair, int keep,
                        float log_f0_base, std::set<std::pair<int, int>>& kept) {
    const Instance& first = all[static_cast<std::size_t>(of_pair[0])];
    const int a = first.unit.left_phone, b = first.unit.right_phone;
    std::vector<double> left, right;
    std::array<float, kJoinOrder> mean_l{}, mean_r{};
    for (int i : of_pair) {
        const Instance& in = all[static_cast<std::size_t>(i)];
        left.push_back(std::log(in.left_seconds));
        right.push_back(std::log(in.right_seconds));
        for (int k = 0; k < kJoinOrder; ++k) {
            mean_l[k] += in.unit.cep_left[k] / static_cast<float>(of_pair.size());
            mean_r[k] += in.unit.cep_right[k] / static_cast<float>(of_pair.size());
        }
    }
    const double ml = median(left), mr = median(right);
    double spread = 1e-6;
    for (int i : of_pair) {
        const Instance& in = all[static_cast<std::size_t>(i)];
        spread +=
            (cep_distance(in.unit.cep_left, mean_l) + cep_distance(in.unit.cep_right, mean_r)) /
            static_cast<double>(of_pair.size());
    }
    std::vector<double> score;
    for (int i : of_pair) {
        const Instance& in = all[static_cast<std::size_t>(i)];
        double s = 0;
        if (a != kPause) s += std::abs(std::log(in.left_seconds) - ml);
        if (b != kPause) s += std::abs(std::log(in.right_seconds) - mr);
        if (in.unit.log_f0 > 0) s += 0.8 * std::abs(in.unit.log_f0 - log_f0_base);
        s += 0.5 *
             (cep_distance(in.unit.cep_left, mean_l) + cep_distance(in.unit.cep_right, mean_r)) /
             spread;
        // A vowel or sonorant without pitch is a labelling or tracking slip.
        if ((is_voiced_phone(a) || is_voiced_phone(b)) && in.unit.log_f0 == 0) s += 3;
        if ((a != kPause && in.left_seconds < 0.012f) || (b != kPause && in.right_seconds < 0.012f))
            s += 1;
        score.push_back(s);
    }
    std::vector<int> chosen;
    std::vector<bool> taken(of_pair.size(), false);
    for (int round = 0; round < keep && round < static_cast<int>(of_pair.size()); ++round) {
        double best = 1e30;
        std::size_t pick = 0;
        for (std::size_t k = 0; k < of_pair.size(); ++k) {
            if (taken[k]) continue;
            const Instance& in = all[static_cast<std::size_t>(of_pair[k])];
            double s = score[k];
            for (int c : chosen) {
                const RecordedUnit& u = all[static_cast<std::size_t>(c)].unit;
                if (u.left_context == in.unit.left_context) s += 0.4;
                if (u.right_context == in.unit.right_context) s += 0.4;
                if (u.before_pause == in.unit.before_pause) s += 0.2;
            }
            if (kept.count({in.recording, in.label - 1}) ||
                kept.count({in.recording, in.label + 1}))
                s -= 0.3;
            if (s < best) {
                best = s;
                pick = k;
            }
        }
        taken[pick] = true;
        const int index = of_pair[pick];
        chosen.push_back(index);
        kept.insert({all[static_cast<std::size_t>(index)].recording,
                     all[static_cast<std::size_t>(index)].label});
    }
    return chosen;
}

// Samples around a core that the two-period grains of its marks may reach.
int margin_near(const std::vector<PitchMark>& marks, int at) {
    int widest = kUnvoicedMarkSpacing;
    const auto it = std::lower_bound(marks.begin(), marks.end(), at - 400,
                                     [](const PitchMark& m, int v) { return m.position < v; });
    for (auto m = it; m != marks.end() && m->position <= at + 400; ++m)
        widest = std::max(widest, m->period);
    return widest * 3 / 2 + 8;
}

// ---- the file ---------------------------------------------------------------

constexpr char kMagic[8] = {'Z', 'V', 'I', 'N', 'V', '0', '0', '4'};

template <typename T>
void put(std::ostream& out, const T& value) {
    out.write(reinterpret_cast<const char*>(&value), sizeof(T));
}
template <typename T>
void put_vector(std::ostream& out, const std::vector<T>& v) {
    put<std::uint64_t>(out, v.size());
    out.write(reinterpret_cast<const char*>(v.data()),
              static_cast<std::streamsize>(v.size() * sizeof(T)));
}
template <typename T>
T get(std::istream& in) {
    T value{};
    if (!in.read(reinterpret_cast<char*>(&value), sizeof(T)))
        throw std::runtime_error("The voice inventory is cut short");
    return value;
}
template <typename T>
std::vector<T> get_vector(std::istream& in) {
    const auto size = get<std::uint64_t>(in);
    if (size > (1ull << 31)) throw std::runtime_error("The voice inventory is damaged");
    std::vector<T> v(size);
    if (!in.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(size * sizeof(T))))
        throw std::runtime_error("The voice inventory is cut short");
    return v;
}

}  // namespace

VoiceInventory build_inventory(const std::string& corpus_dir, const InventoryOptions& options) {
    const auto say = [&](const std::string& s) {
        if (options.progress) options.progress(s);
    };
    std::vector<Recording> recs;
    for (Utterance& u : read_prompts(corpus_dir)) {
        if (is_held_out(u.number)) continue;  // kept to measure the voice against
        recs.push_back({});
        recs.back().utterance = std::move(u);
    }
    say("analysing " + std::to_string(recs.size()) + " recordings");
    in_parallel(recs.size(), options.threads, [&](std::size_t i) { analyse(recs[i], corpus_dir); });
    double polarity = 0;
    for (const Recording& r : recs) polarity += r.polarity;
    const int sign = polarity >= 0 ? 1 : -1;
    in_parallel(recs.size(), options.threads, [&](std::size_t i) {
        std::vector<float> x(recs[i].raw.size());
        for (std::size_t k = 0; k < x.size(); ++k)
            x[k] = static_cast<float>(recs[i].raw[k]) / 32768.0f;
        recs[i].marks = pitch_marks(x, recs[i].pitch, sign);
    });

    VoiceInventory inv;
    inv.durations = phone_durations(recs);
    inv.prosody = prosody_figures(recs, inv.durations[0]);

    for (const Recording& r : recs) {
        LabelledSentence s{r.utterance.number, r.utterance.text, r.labels, {}, 0.0f};
        for (std::size_t i = 0; i < r.labels.size(); ++i)
            s.log_f0.push_back(is_vowel(r.labels[i].phone) ? vowel_log_pitch(r, i) : 0.0f);
        std::vector<double> voiced;
        for (float f : r.pitch)
            if (f > 0) voiced.push_back(std::log(f));
        if (voiced.size() > 1) {
            const double mean = std::accumulate(voiced.begin(), voiced.end(), 0.0) /
                                static_cast<double>(voiced.size());
            double sum = 0;
            for (double v : voiced) sum += (v - mean) * (v - mean);
            s.pitch_spread = static_cast<float>(std::sqrt(sum / static_cast<double>(voiced.size())));
        }
        inv.sentences.push_back(std::move(s));
    }

    say("measuring the recorded diphones");
    std::vector<std::vector<Instance>> per_recording(recs.size());
    in_parallel(recs.size(), options.threads, [&](std::size_t i) {
        per_recording[i] = instances_of(recs[i], static_cast<int>(i));
    });
    std::vector<Instance> all;
    for (auto& v : per_recording) all.insert(all.end(), v.begin(), v.end());
    per_recording.clear();

    std::vector<std::vector<int>> by_pair(kPhoneCount * kPhoneCount);
    for (std::size_t i = 0; i < all.size(); ++i)
        by_pair[static_cast<std::size_t>(all[i].unit.left_phone * kPhoneCount +
                                         all[i].unit.right_phone)]
            .push_back(static_cast<int>(i));
    std::vector<int> order(by_pair.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int x, int y) { return by_pair[x].size() > by_pair[y].size(); });
    const int keep = std::max(1, options.candidates_per_pair);
    std::set<std::pair<int, int>> kept;
    std::vector<std::vector<int>> chosen(by_pair.size());
    for (int pair : order)
        if (!by_pair[pair].empty())
            chosen[pair] = choose(all, by_pair[pair], keep, inv.prosody.log_f0_base, kept);

    say("cutting the chosen diphones");
    // Kept diphones of one recording that overlap (with their margins) are
    // stored once, as one stretch: a pair and its neighbours share the
    // samples of the phone between them.
    std::map<std::pair<int, int>, int> unit_of;  // (recording, label) -> unit
    std::vector<int> kept_instances;
    for (const auto& c : chosen) kept_instances.insert(kept_instances.end(), c.begin(), c.end());
    std::sort(kept_instances.begin(),
              kept_instances.end());  // recording order: contiguous pieces meet
    int run_recording = -1, run_from = 0, run_to = 0, run_stored = 0;
    for (int index : kept_instances) {
        const Instance& in = all[static_cast<std::size_t>(index)];
        const Recording& r = recs[static_cast<std::size_t>(in.recording)];
        RecordedUnit u = in.unit;
        const int from =
            std::max(0, u.core_start - margin_near(r.marks, u.core_start) - kJoinReach);
        const int to = std::min(static_cast<int>(r.raw.size()),
                                u.core_end + margin_near(r.marks, u.core_end) + kJoinReach + 1);
        if (in.recording != run_recording || from > run_to) {
            run_recording = in.recording;
            run_from = run_to = from;
            run_stored = static_cast<int>(inv.samples.size());
        }
        for (int k = run_to; k < to; ++k) {
            const float v =
                std::round(static_cast<float>(r.raw[static_cast<std::size_t>(k)]) * u.gain);
            inv.samples.push_back(static_cast<std::int16_t>(std::clamp(v, -32768.0f, 32767.0f)));
        }
        // The stretch's marks, in stored order, so that one sorted array
        // serves every unit.
        for (const PitchMark& m : r.marks) {
            if (m.position < run_to || m.position >= to) continue;
            inv.mark_position.push_back(run_stored + m.position - run_from);
            inv.mark_period.push_back(m.period);
            inv.mark_voiced.push_back(m.voiced ? 1 : 0);
        }
        run_to = std::max(run_to, to);
        u.source_start = from;
        u.stored_start = run_stored + from - run_from;
        u.length = to - from;
        u.core_start -= from;
        u.boundary -= from;
        u.core_end -= from;
        const auto first_mark = std::lower_bound(inv.mark_position.begin(), inv.mark_position.end(),
                                                 u.stored_start);
        const auto end_mark = std::lower_bound(first_mark, inv.mark_position.end(),
                                               u.stored_start + u.length);
        u.mark_begin = static_cast<int>(first_mark - inv.mark_position.begin());
        u.mark_end = static_cast<int>(end_mark - inv.mark_position.begin());
        if (u.mark_end == u.mark_begin) {
            // Fewer than one mark in the stretch: never so with a margin of
            // more than one mark spacing, but the synthesis needs one.
            throw std::runtime_error("A recorded diphone without a pitch mark in " +
                                     r.utterance.name);
        }
        unit_of[{in.recording, in.label}] = static_cast<int>(inv.units.size());
        inv.units.push_back(u);
    }
    for (const auto& [key, index] : unit_of) {
        const auto next = unit_of.find({key.first, key.second + 1});
        if (next != unit_of.end()) inv.units[static_cast<std::size_t>(index)].next = next->second;
    }

    // Every phone pair gets a row: its own instances, or those of the
    // recorded pair that sounds most alike.
    inv.candidates_per_pair = keep;
    inv.candidates.assign(by_pair.size() * static_cast<std::size_t>(keep), -1);
    inv.substitution_cost.assign(by_pair.size(), 0.0f);
    std::vector<int> recorded_pairs;
    for (std::size_t pair = 0; pair < by_pair.size(); ++pair)
        if (!chosen[pair].empty()) recorded_pairs.push_back(static_cast<int>(pair));
    for (std::size_t pair = 0; pair < by_pair.size(); ++pair) {
        int source = static_cast<int>(pair);
        if (chosen[pair].empty()) {
            const int a = static_cast<int>(pair) / kPhoneCount,
                      b = static_cast<int>(pair) % kPhoneCount;
            float best = 1e30f;
            for (int other : recorded_pairs) {
                const float d =
                    phone_distance(a, other / kPhoneCount) + phone_distance(b, other % kPhoneCount);
                if (d < best) {
                    best = d;
                    source = other;
                }
            }
            inv.substitution_cost[pair] = best;
        }
        const auto& units = chosen[static_cast<std::size_t>(source)];
        for (std::size_t k = 0; k < units.size(); ++k) {
            const Instance& in = all[static_cast<std::size_t>(units[k])];
            inv.candidates[pair * static_cast<std::size_t>(keep) + k] =
                unit_of.at({in.recording, in.label});
        }
    }
    say("kept " + std::to_string(inv.units.size()) + " diphones of " + std::to_string(all.size()) +
        " recorded (" + std::to_string(recorded_pairs.size()) + " phone pairs), " +
        std::to_string(inv.samples.size() / kRate) + " s of audio");
    return inv;
}

void write_inventory(const VoiceInventory& inv, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot write the voice inventory: " + path);
    out.write(kMagic, sizeof kMagic);
    put_vector(out, inv.units);
    put_vector(out, inv.samples);
    put_vector(out, inv.mark_position);
    put_vector(out, inv.mark_period);
    put_vector(out, inv.mark_voiced);
    put(out, inv.candidates_per_pair);
    put_vector(out, inv.candidates);
    put_vector(out, inv.substitution_cost);
    put_vector(out, inv.durations);
    put(out, inv.prosody);
    put<std::uint64_t>(out, inv.sentences.size());
    for (const LabelledSentence& s : inv.sentences) {
        put(out, s.number);
        put_vector(out, std::vector<char>(s.text.begin(), s.text.end()));
        put_vector(out, s.labels);
        put_vector(out, s.log_f0);
        put(out, s.pitch_spread);
    }
    if (!out.flush()) throw std::runtime_error("Cannot write the voice inventory: " + path);
}

VoiceInventory read_inventory(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot read the voice inventory: " + path);
    char magic[sizeof kMagic] = {};
    if (!in.read(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0)
        throw std::runtime_error("Not a voice inventory: " + path);
    VoiceInventory inv;
    inv.units = get_vector<RecordedUnit>(in);
    inv.samples = get_vector<std::int16_t>(in);
    inv.mark_position = get_vector<int>(in);
    inv.mark_period = get_vector<int>(in);
    inv.mark_voiced = get_vector<std::uint8_t>(in);
    inv.candidates_per_pair = get<int>(in);
    inv.candidates = get_vector<int>(in);
    inv.substitution_cost = get_vector<float>(in);
    inv.durations = get_vector<float>(in);
    inv.prosody = get<ProsodyFigures>(in);
    const auto sentences = get<std::uint64_t>(in);
    if (sentences > 100000) throw std::runtime_error("The voice inventory is damaged: " + path);
    for (std::uint64_t i = 0; i < sentences; ++i) {
        LabelledSentence s;
        s.number = get<int>(in);
        const std::vector<char> text = get_vector<char>(in);
        s.text.assign(text.begin(), text.end());
        s.labels = get_vector<PhoneLabel>(in);
        s.log_f0 = get_vector<float>(in);
        s.pitch_spread = get<float>(in);
        if (s.log_f0.size() != s.labels.size())
            throw std::runtime_error("The voice inventory is damaged: " + path);
        inv.sentences.push_back(std::move(s));
    }
    if (inv.candidates.size() !=
            static_cast<std::size_t>(kPhoneCount * kPhoneCount * inv.candidates_per_pair) ||
        inv.durations.size() != 2u * kPhoneCount)
        throw std::runtime_error("The voice inventory is damaged: " + path);
    return inv;
}

}  // namespace zelvan_tts::voice
