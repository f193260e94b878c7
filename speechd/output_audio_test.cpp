#include "speechd/output_audio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zelvan_tts::speechd {
namespace {

TEST(OutputAudio, HalfTheRateLowPassedAndLimitedWithoutClipping) {
    struct Case {
        const char* name;
        double hertz;       // a sine at 48 kHz
        float amplitude;
        float gain;
        double peak_low;    // the output's peak, in full scale, within these
        double peak_high;
    };
    const Case cases[] = {
        {"speech band passes", 1000, 0.5f, 1.0f, 0.48, 0.52},
        {"7.5 kHz passes", 7500, 0.5f, 1.0f, 0.47, 0.53},
        {"15 kHz is gone, not folded down", 15000, 0.5f, 1.0f, 0.0, 0.01},
        {"twice a loud voice is limited", 1000, 0.9f, 2.0f, 0.9, 0.981},
        {"louder still", 300, 1.0f, 8.0f, 0.9, 0.981},
        {"silence", 1000, 0.0f, 2.0f, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        OutputAudio audio(c.gain);
        std::vector<float> in(4800);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = c.amplitude * static_cast<float>(std::sin(2 * 3.14159265358979 * c.hertz * i / 48000));
        std::vector<std::int16_t> out;
        // In uneven pieces, as the engine's blocks come.
        audio.add(in.data(), 1001, out);
        audio.add(in.data() + 1001, in.size() - 1001, out);
        ASSERT_EQ(out.size(), in.size() / 2) << c.name;
        int peak = 0;
        for (std::size_t i = 200; i < out.size(); ++i) peak = std::max(peak, std::abs(int{out[i]}));
        EXPECT_GE(peak / 32767.0, c.peak_low) << c.name;
        EXPECT_LE(peak / 32767.0, c.peak_high) << c.name;
    }
}

}  // namespace
}  // namespace zelvan_tts::speechd
