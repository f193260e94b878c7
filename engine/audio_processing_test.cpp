#include "engine/audio_processing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

namespace zelvan_tts {
namespace {

TEST(AudioProcessing, VolumeAndClampingWorkInPlace) {
    std::vector<float> samples{0.75f, -0.25f, 0.0f};
    apply_volume(samples, 2.0f);
    EXPECT_EQ(samples, (std::vector<float>{1.5f, -0.5f, 0.0f}));
    clamp_unit(samples);
    EXPECT_EQ(samples, (std::vector<float>{1.0f, -0.5f, 0.0f}));

    std::vector<float> loud{3.0f,
                            -7.0f,
                            1.0f,
                            -1.0f,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::nanf("")};
    apply_volume(loud, 1.0f);  // untouched, even beyond the range
    EXPECT_EQ(loud[0], 3.0f);
    clamp_unit(loud);
    EXPECT_EQ(loud, (std::vector<float>{1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 0.0f}));

    std::vector<float> inverted{0.5f};
    apply_volume(inverted, -1.0f);
    EXPECT_EQ(inverted[0], -0.5f);
}

TEST(AudioProcessing, OnePassCopyMatchesVolumeThenClamp) {
    std::vector<float> in;
    for (int i = -300; i <= 300; ++i) in.push_back(static_cast<float>(i) / 97.0f);
    in.push_back(std::nanf(""));
    for (float volume : {1.0f, 0.5f, 2.0f, -1.0f, 0.0f}) {
        std::vector<float> expected = in;
        apply_volume(expected, volume);
        clamp_unit(expected);
        EXPECT_EQ(scaled_and_clamped(in.data(), in.size(), volume), expected) << volume;
    }
    EXPECT_TRUE(scaled_and_clamped(nullptr, 0, 2.0f).empty());
}

TEST(AudioProcessing, Pcm16RoundsToEvenAndClamps) {
    const std::vector<float> in{1.0f, -1.0f, 0.5f, 1.5f, -1.5f, 0.0f, -0.5f, std::nanf("")};
    EXPECT_EQ(to_pcm16(in),
              (std::vector<std::int16_t>{32767, -32767, 16384, 32767, -32768, 0, -16384, 0}));
    EXPECT_TRUE(to_pcm16({}).empty());
}

// A 200 Hz tone, so that Sonic finds a pitch period.
std::vector<float> tone(std::size_t n, float hz = 200.0f) {
    std::vector<float> s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = 0.5f * std::sin(2 * M_PI * hz * i / 48000.0);
    return s;
}

std::size_t stretched_length(float speed, float pitch, std::size_t blocks) {
    auto stretcher = SonicStretcher::create(48000, speed, pitch);
    std::size_t total = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        stretcher->write(tone(4800));
        total += stretcher->read_available().size();
    }
    stretcher->flush();
    total += stretcher->read_available().size();
    return total;
}

TEST(AudioProcessing, StretcherChangesTempoAndKeepsLengthForPitch) {
    const double input = 10 * 4800;
    EXPECT_NEAR(stretched_length(2.0f, 1.0f, 10), input / 2, input * 0.05);
    EXPECT_NEAR(stretched_length(0.5f, 1.0f, 10), input * 2, input * 0.05);
    EXPECT_NEAR(stretched_length(1.0f, 1.5f, 10), input, input * 0.05);

    // Sonic holds audio back until it has seen what follows.
    auto stretcher = SonicStretcher::create(48000, 2.0f, 1.0f);
    stretcher->write(tone(100));
    EXPECT_TRUE(stretcher->read_available().empty());
    stretcher->flush();
    EXPECT_FALSE(stretcher->read_available().empty());
}

// Sonic itself crashes on some of these; a request may carry any float.
TEST(AudioProcessing, StretchFactorsActAsTheNearestBound) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, float> cases[] = {
        {0.0f, 0.05f},  {-1.0f, 0.05f},  {1e-6f, 0.05f}, {0.05f, 0.05f}, {1.0f, 1.0f},
        {20.0f, 20.0f}, {100.5f, 20.0f}, {inf, 20.0f},   {-inf, 0.05f},
    };
    for (const auto& [requested, applied] : cases) EXPECT_EQ(stretch_factor(requested), applied);

    // Beyond the bounds a stretcher behaves as at the bound.
    EXPECT_EQ(stretched_length(0.0f, 1.0f, 1), stretched_length(0.05f, 1.0f, 1));
    EXPECT_EQ(stretched_length(-3.0f, 1.0f, 1), stretched_length(0.05f, 1.0f, 1));
    EXPECT_EQ(stretched_length(1000.0f, 1.0f, 1), stretched_length(20.0f, 1.0f, 1));
    EXPECT_EQ(stretched_length(1.0f, 0.0f, 1), stretched_length(1.0f, 0.05f, 1));
    EXPECT_GT(stretched_length(0.0f, 1.0f, 1), 4800u * 15);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& [speed, pitch] : {std::pair{nan, 1.0f}, std::pair{1.0f, nan}}) {
        try {
            SonicStretcher::create(48000, speed, pitch);
            ADD_FAILURE() << "NaN accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Speed and pitch must be numbers");
        }
    }
}

}  // namespace
}  // namespace zelvan_tts
