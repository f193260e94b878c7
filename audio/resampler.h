// Changes the sample rate of a mono float stream block by block (libsamplerate,
// its medium-quality sinc converter), keeping the converter's state across
// blocks so that the joins stay smooth.
#pragma once

#include <cstddef>
#include <vector>

typedef struct SRC_STATE_tag SRC_STATE;

namespace zelvan_tts {

class Resampler {
public:
    // Throws std::runtime_error "Cannot resample audio: <reason>".
    Resampler(int input_rate, int output_rate);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // The output for `count` more input samples (some may follow later).
    std::vector<float> process(const float* samples, std::size_t count);
    // What the converter still holds, at the end of the stream.
    std::vector<float> flush();

private:
    std::vector<float> run(const float* samples, std::size_t count, bool last);

    SRC_STATE* state_;
    double ratio_;
};

}  // namespace zelvan_tts
