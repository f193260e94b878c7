// Pitch and pitch marks of synthetic voices: a pulse train at a known
// pitch through one damped resonance, between stretches of faint noise.
#include "voice/pitch_marks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zelvan_tts::voice {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Voiced {
    std::vector<float> x;
    std::vector<long> pulses;
    long from = 0, to = 0;  // the voiced stretch, samples
};

// 0.2 s of noise at -80 dB, 0.5 s of pulses at `hz` (sign `sign`), 0.2 s of noise.
Voiced pulse_train(double hz, int sign) {
    Voiced v;
    v.from = 3200;
    v.to = v.from + 8000;
    v.x.assign(static_cast<std::size_t>(v.to + 3200), 0.0f);
    std::uint32_t seed = 12345;
    for (float& s : v.x) {
        seed = seed * 1664525u + 1013904223u;
        s = 1e-4f * (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f);
    }
    for (double at = static_cast<double>(v.from); at < static_cast<double>(v.to - 400);
         at += 16000.0 / hz) {
        const long p = std::lround(at);
        v.pulses.push_back(p);
        for (int n = 0; n < 400; ++n)
            v.x[static_cast<std::size_t>(p + n)] +=
                static_cast<float>(sign * 0.3 * std::exp(-n / 40.0) * std::sin(2 * kPi * 600 * n / 16000.0));
    }
    return v;
}

TEST(PitchMarks, FollowThePulsesOfASyntheticVoice) {
    const struct {
        double hz;
        int sign;
    } cases[] = {{100, 1}, {150, 1}, {220, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hz);
        const Voiced v = pulse_train(c.hz, c.sign);
        const double period = 16000.0 / c.hz;
        const std::vector<float> f0 = track_pitch(v.x);
        // Pitch inside the voiced stretch (away from its edges), none in the noise.
        for (long f = (v.from + 800) / kPitchHop; f < (v.to - 1200) / kPitchHop; ++f)
            ASSERT_NEAR(f0[static_cast<std::size_t>(f)], c.hz, 0.03 * c.hz) << "frame " << f;
        for (long f = 0; f < (v.from - 400) / kPitchHop; ++f)
            ASSERT_EQ(f0[static_cast<std::size_t>(f)], 0.0f) << "frame " << f;
        const double polarity = pulse_polarity(v.x, f0);
        EXPECT_EQ(polarity > 0 ? 1 : -1, c.sign);

        const std::vector<PitchMark> marks = pitch_marks(v.x, f0, c.sign);
        std::vector<const PitchMark*> voiced;
        for (std::size_t i = 0; i < marks.size(); ++i) {
            if (i > 0) {
                ASSERT_GT(marks[i].position, marks[i - 1].position);
            }
            // (The last pulse rings on for 25 ms: marks there are the tail's.)
            if (marks[i].voiced && marks[i].position <= v.pulses.back() + 10) voiced.push_back(&marks[i]);
        }
        // One mark on the first peak of every pulse (the resonance peaks
        // 5-7 samples after its pulse), at most the pulses at the edges missed.
        EXPECT_GE(voiced.size() + 3, v.pulses.size());
        EXPECT_LE(voiced.size(), v.pulses.size());
        for (const PitchMark* m : voiced) {
            long nearest = 1 << 30;
            for (long p : v.pulses)
                if (std::abs(m->position - p - 6) < std::abs(nearest)) nearest = m->position - p - 6;
            EXPECT_LE(std::abs(nearest), 3) << "mark at " << m->position;
            if (m != voiced.back()) {
                EXPECT_NEAR(m->period, period, 2.0) << "mark at " << m->position;
            }
        }
        // In the noise before it, marks 5 ms apart.
        for (std::size_t i = 1; i < marks.size() && marks[i].position < v.from - 800; ++i) {
            EXPECT_FALSE(marks[i].voiced);
            EXPECT_NEAR(marks[i].position - marks[i - 1].position, kUnvoicedMarkSpacing, 1);
        }
    }
}

// Periods with jitter and two like peaks, 15 samples apart, whose heights
// vary from period to period: which one is the higher changes, the phase
// the marks fall at must not.
TEST(PitchMarks, FallAtOnePhaseOfEveryPeriod) {
    std::vector<float> x(16000, 0.0f);
    std::vector<long> pulses;
    std::uint32_t seed = 99;
    const auto chance = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 16777216.0 - 0.5;  // -0.5 .. 0.5
    };
    for (float& s : x) s = static_cast<float>(1e-4 * chance());
    for (double at = 3200; at < 12000; at += 16000.0 / 120 * (1 + 0.04 * chance())) {
        const long p = std::lround(at);
        pulses.push_back(p);
        const double first = 0.3 * (1 + 0.3 * chance()), second = 0.3 * (1 + 0.3 * chance());
        for (int n = 0; n < 40; ++n)
            x[static_cast<std::size_t>(p + n)] += static_cast<float>(
                first * std::exp(-0.5 * (n - 5) * (n - 5) / 4.0) +
                second * std::exp(-0.5 * (n - 20) * (n - 20) / 4.0));
    }
    const std::vector<float> f0 = track_pitch(x);
    std::vector<long> offsets;
    for (const PitchMark& m : pitch_marks(x, f0, 1)) {
        if (!m.voiced || m.position < pulses.front() || m.position > pulses.back() + 20) continue;
        const long pulse = *(std::upper_bound(pulses.begin(), pulses.end(), m.position) - 1);
        offsets.push_back(m.position - pulse);
    }
    ASSERT_GE(offsets.size() + 4, pulses.size());
    std::vector<long> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    const long typical = sorted[sorted.size() / 2];
    for (std::size_t i = 0; i < offsets.size(); ++i)
        EXPECT_NEAR(offsets[i], typical, 2) << "mark " << i;
}

}  // namespace
}  // namespace zelvan_tts::voice
