// The demo voice measured as a listener would: the pitch of a sustained
// vowel, the formants of а, и, у, silence in pauses, stress and question
// intonation, and the call contract of an installation's voice model.
#include "demo/formant_voice.h"

#include "engine/model_constants.h"
#include "engine/voice_model.h"
#include "shared/symbols/symbols.h"
#include "core/module_packing.h"

#include <gtest/gtest.h>
#include <torch/script.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <vector>

namespace zelvan_tts::demo {
namespace {

namespace fs = std::filesystem;

struct Speech {
    std::vector<std::int64_t> ids;
    std::vector<float> audio;
    std::vector<float> starts;
    std::vector<std::int64_t> audio_shape;

    // Sample range of the symbol at id position `j`.
    std::pair<std::size_t, std::size_t> span(std::size_t j) const {
        const auto at = [&](float t) {
            return std::min(audio.size(), static_cast<std::size_t>(std::lround(t * kSampleRate)));
        };
        const float end =
            j + 1 < starts.size() ? starts[j + 1] : static_cast<float>(audio.size()) / kSampleRate;
        return {at(starts[j]), at(end)};
    }
    // First id position holding `id` at or after `from`.
    std::size_t find(std::int64_t id, std::size_t from = 0) const {
        for (std::size_t j = from; j < ids.size(); ++j)
            if (ids[j] == id) return j;
        ADD_FAILURE() << "id " << id << " not in the sequence";
        return 0;
    }
};

double rms(const std::vector<float>& x, std::size_t from, std::size_t to) {
    if (to <= from) return 0.0;
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

// Pitch by normalised autocorrelation over 60..400 Hz: the first lag whose
// correlation comes within 5% of the best, so that twice the period does not win.
double pitch_at(const std::vector<float>& x, std::size_t centre) {
    const std::size_t window = 2400;
    const std::size_t from = centre - window / 2;
    const int min_lag = kSampleRate / 400;
    const int max_lag = kSampleRate / 60;
    std::vector<double> corr(static_cast<std::size_t>(max_lag) + 2, 0.0);
    for (int lag = min_lag; lag <= max_lag + 1; ++lag) {
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (std::size_t i = from; i < from + window; ++i) {
            const double a = x[i];
            const double b = x[i + static_cast<std::size_t>(lag)];
            xy += a * b;
            xx += a * a;
            yy += b * b;
        }
        corr[static_cast<std::size_t>(lag)] = xy / std::sqrt(xx * yy + 1e-20);
    }
    const double best = *std::max_element(corr.begin() + min_lag, corr.end());
    int lag = min_lag;
    while (lag < max_lag && !(corr[lag] >= 0.95 * best && corr[lag] >= corr[lag + 1])) ++lag;
    // Parabolic refinement of the peak.
    const double l = corr[lag - 1], c = corr[lag], r = corr[lag + 1];
    const double shift = 0.5 * (l - r) / (l - 2.0 * c + r);
    return kSampleRate / (lag + (std::isfinite(shift) ? shift : 0.0));
}

// The first two formants: 12 kHz audio, Hamming window, LPC of order 12 by
// Levinson-Durbin, peaks of the LPC envelope.
std::pair<double, double> formants_at(const std::vector<float>& x, std::size_t centre) {
    constexpr int kDecimate = 4;
    constexpr double kRate = kSampleRate / kDecimate;
    constexpr int kLength = 480;  // 40 ms
    constexpr int kOrder = 14;
    std::vector<double> s(kLength);
    const std::size_t from = centre - kLength * kDecimate / 2;
    for (int i = 0; i < kLength; ++i) {
        double sum = 0.0;
        for (int k = 0; k < kDecimate; ++k)
            sum += x[from + static_cast<std::size_t>(i * kDecimate + k)];
        s[static_cast<std::size_t>(i)] = sum / kDecimate;
    }
    for (int i = kLength - 1; i > 0; --i) s[i] -= 0.9 * s[i - 1];
    for (int i = 0; i < kLength; ++i) s[i] *= 0.54 - 0.46 * std::cos(2 * M_PI * i / (kLength - 1));
    std::vector<double> r(kOrder + 1, 0.0);
    for (int k = 0; k <= kOrder; ++k)
        for (int i = k; i < kLength; ++i) r[k] += s[i] * s[i - k];
    std::vector<double> a(kOrder + 1, 0.0);
    a[0] = 1.0;
    double err = r[0];
    for (int i = 1; i <= kOrder; ++i) {
        double acc = r[i];
        for (int j = 1; j < i; ++j) acc += a[j] * r[i - j];
        const double k = -acc / err;
        std::vector<double> next = a;
        for (int j = 1; j < i; ++j) next[j] = a[j] + k * a[i - j];
        next[i] = k;
        a = next;
        err *= 1.0 - k * k;
    }
    std::vector<double> envelope;
    for (double f = 0.0; f <= 5000.0; f += 5.0) {
        double re = 0.0, im = 0.0;
        for (int j = 0; j <= kOrder; ++j) {
            re += a[j] * std::cos(2 * M_PI * f * j / kRate);
            im -= a[j] * std::sin(2 * M_PI * f * j / kRate);
        }
        envelope.push_back(1.0 / (re * re + im * im));
    }
    std::vector<double> peaks;
    for (std::size_t i = 1; i + 1 < envelope.size(); ++i)
        if (envelope[i] > envelope[i - 1] && envelope[i] >= envelope[i + 1] && i * 5.0 > 150.0)
            peaks.push_back(static_cast<double>(i) * 5.0);
    if (peaks.size() < 2) {
        ADD_FAILURE() << "fewer than two formant peaks";
        return {0.0, 0.0};
    }
    return {peaks[0], peaks[1]};
}

class DemoVoice : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        configure_torch_runtime();
        std::ifstream in(DEMO_VOICE_SOURCE, std::ios::binary);
        std::ostringstream source;
        source << in.rdbuf();
        const fs::path dir =
            fs::temp_directory_path() / ("zelvan_demo_voice_" + std::to_string(getpid()));
        fs::create_directories(dir);
        const std::string path = (dir / "multivoice_base.bin").string();
        // Through the same packing, loading, freezing and optimising as an
        // installation's voice.
        pack_module(formant_voice_module(source.str()), path);
        voice_ = new torch::jit::Module(load_voice_model(path));
        fs::remove_all(dir);
    }
    static void TearDownTestSuite() {
        delete voice_;
        voice_ = nullptr;
    }

    static Speech say(const std::string& text, std::int64_t speaker) {
        return say_ids(encode_text(text, SymbolMap::instance()), speaker);
    }

    static Speech say_ids(const std::vector<std::int64_t>& ids, std::int64_t speaker) {
        torch::InferenceMode guard;
        const auto n = static_cast<std::int64_t>(ids.size());
        const c10::IValue out = voice_->forward(
            {torch::tensor(ids, torch::kInt64).reshape({1, n}), torch::tensor({speaker})});
        const auto elements = out.toTuple()->elements();
        const torch::Tensor audio = elements.at(0).toTensor();
        const torch::Tensor starts = elements.at(1).toTensor().to(torch::kFloat).contiguous();
        EXPECT_EQ(audio.scalar_type(), torch::kFloat);
        const torch::Tensor flat = audio.contiguous().reshape(-1);
        Speech s;
        s.ids = ids;
        s.audio.assign(flat.data_ptr<float>(), flat.data_ptr<float>() + flat.numel());
        s.starts.assign(starts.data_ptr<float>(), starts.data_ptr<float>() + starts.numel());
        s.audio_shape = audio.sizes().vec();
        return s;
    }

    static torch::jit::Module* voice_;
};
torch::jit::Module* DemoVoice::voice_ = nullptr;

constexpr std::int64_t kA = 13;  // а
constexpr std::int64_t kI = 21;  // и
constexpr std::int64_t kU = 32;  // у
// A low voice (about 113 Hz): its harmonics lie close enough to outline the formants.
constexpr int kFormantSpeaker = 15;

TEST_F(DemoVoice, MeetsTheCallContractAndRepeatsItself) {
    // Every id of the alphabet once, framed as the engine frames a chunk.
    std::vector<std::int64_t> ids{2};
    for (std::int64_t id = 0; id < 85; ++id) ids.push_back(id);
    ids.push_back(1);
    const Speech s = say_ids(ids, 31);

    ASSERT_EQ(s.audio_shape.size(), 2u);
    EXPECT_EQ(s.audio_shape[0], 1);
    ASSERT_EQ(s.starts.size(), ids.size());
    EXPECT_EQ(s.starts[0], 0.0f);
    EXPECT_TRUE(std::is_sorted(s.starts.begin(), s.starts.end()));
    // The times are the durations used: the audio ends one last duration after the last start.
    const double total = static_cast<double>(s.audio.size()) / kSampleRate;
    EXPECT_NEAR(total, s.starts.back() + symbol_duration(1), 0.006);
    for (float v : s.audio) ASSERT_TRUE(std::isfinite(v) && v >= -1.0f && v <= 1.0f);
    EXPECT_GT(rms(s.audio, 0, s.audio.size()), 0.01);

    const Speech again = say_ids(ids, 31);
    EXPECT_EQ(s.audio, again.audio);
    EXPECT_EQ(s.starts, again.starts);

    // Another speaker, other samples; an empty sequence, empty audio.
    EXPECT_NE(say_ids(ids, 32).audio, s.audio);
    const Speech nothing = say_ids({}, 0);
    EXPECT_TRUE(nothing.audio.empty());
    EXPECT_TRUE(nothing.starts.empty());
}

TEST_F(DemoVoice, SustainedVowelHasTheSpeakersPitch) {
    // The lowest and highest voices of the table and a few between.
    int low = 0, high = 0;
    for (int i = 0; i < kSpeakerCount; ++i) {
        if (demo_speaker(i).pitch_hz < demo_speaker(low).pitch_hz) low = i;
        if (demo_speaker(i).pitch_hz > demo_speaker(high).pitch_hz) high = i;
    }
    EXPECT_LT(demo_speaker(low).pitch_hz, 90.0f);
    EXPECT_GT(demo_speaker(high).pitch_hz, 250.0f);
    for (int speaker : {low, high, 3, 20, 41}) {
        const Speech s = say("аааааааа", speaker);
        const std::size_t first = s.span(1).first;
        const std::size_t last = s.span(s.ids.size() - 2).second;
        const double measured = pitch_at(s.audio, (first + last) / 2);
        const double expected = demo_speaker(speaker).pitch_hz;
        EXPECT_NEAR(measured, expected, 0.05 * expected) << "speaker " << speaker;
    }
}

TEST_F(DemoVoice, VowelsAIUHaveTheirFormantsInOrder) {
    struct Measured {
        double f1, f2;
    };
    auto measure = [](const char* text, std::int64_t id) {
        const Speech s = say(text, kFormantSpeaker);
        const std::size_t j = s.find(id);
        const std::size_t k = s.ids.size() - 2;  // last vowel of the run
        const auto [f1, f2] = formants_at(s.audio, (s.span(j).first + s.span(k).second) / 2);
        return Measured{f1, f2};
    };
    const Measured a = measure("аааааа", kA);
    const Measured i = measure("ииииии", kI);
    const Measured u = measure("уууууу", kU);
    // The table's targets, scaled by the speaker's tract: F2 within 15%; F1
    // within 30%, since LPC pulls a low first formant towards a harmonic.
    const double scale = demo_speaker(kFormantSpeaker).tract_scale;
    for (auto [m, id] : {std::pair{a, kA}, std::pair{i, kI}, std::pair{u, kU}}) {
        const FormantTargets t = symbol_formants(static_cast<int>(id));
        EXPECT_NEAR(m.f1, t.f1 * scale, 0.3 * t.f1 * scale) << "id " << id;
        EXPECT_NEAR(m.f2, t.f2 * scale, 0.15 * t.f2 * scale) << "id " << id;
    }
    EXPECT_GT(a.f1, i.f1 + 250);
    EXPECT_GT(a.f1, u.f1 + 250);
    EXPECT_GT(i.f2, a.f2 + 600);
    EXPECT_GT(a.f2, u.f2 + 300);
}

TEST_F(DemoVoice, PausesAreSilentWhereTheTimesSayAndScaleWithPunctuation) {
    const Speech s = say("да, нет. да нет", 45);
    const double loud = rms(s.audio, s.span(s.find(kA)).first, s.span(s.find(kA)).second);
    EXPECT_GT(loud, 0.05);
    const auto quiet_middle = [&](std::size_t j) {
        const auto [from, to] = s.span(j);
        const std::size_t margin = (to - from) / 5 + 1200;  // grain tails and smoothing
        return rms(s.audio, from + margin, to - margin);
    };
    const std::size_t comma = s.find(6);
    const std::size_t stop = s.find(8);
    EXPECT_LT(quiet_middle(comma), 0.002 * loud / 0.05);
    EXPECT_LT(quiet_middle(stop), 0.002 * loud / 0.05);
    const auto length = [&](std::size_t j) { return s.starts[j + 1] - s.starts[j]; };
    const std::size_t blank = s.find(84, stop);
    EXPECT_GT(length(stop), length(comma) + 0.1f);
    EXPECT_GT(length(comma), length(blank) + 0.1f);
    EXPECT_GT(length(blank), 0.0f);
}

TEST_F(DemoVoice, StressLengthensRaisesAndLoudersTheVowel) {
    const Speech plain = say("мама", 20);
    const Speech marked = say("м+ама", 20);
    const std::size_t j = plain.find(kA);
    const std::size_t k = marked.find(kA);
    const auto [pf, pt] = plain.span(j);
    const auto [mf, mt] = marked.span(k);
    EXPECT_GT(mt - mf, (pt - pf) * 13 / 10);
    EXPECT_GT(rms(marked.audio, mf, mt), 1.15 * rms(plain.audio, pf, pt));
    EXPECT_GT(pitch_at(marked.audio, (mf + mt) / 2), 1.04 * pitch_at(plain.audio, (pf + pt) / 2));
}

TEST_F(DemoVoice, PitchFallsOverAStatementAndRisesBeforeAQuestion) {
    const Speech statement = say("ааааааааааа.", 20);
    const Speech question = say("ааааааааааа?", 20);
    const auto first_and_last = [](const Speech& s) {
        const std::size_t first = s.span(1).first + 1200;
        const std::size_t last = s.span(s.ids.size() - 3).second - 1200;
        return std::pair{pitch_at(s.audio, first + 1200), pitch_at(s.audio, last - 1200)};
    };
    const auto [s0, s1] = first_and_last(statement);
    const auto [q0, q1] = first_and_last(question);
    EXPECT_LT(s1, 0.95 * s0);
    EXPECT_GT(q1, 1.1 * q0);
}

}  // namespace
}  // namespace zelvan_tts::demo
