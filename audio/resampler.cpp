#include "audio/resampler.h"

#include <samplerate.h>

#include <stdexcept>
#include <string>

namespace zelvan_tts {

Resampler::Resampler(int input_rate, int output_rate)
    : state_(nullptr), ratio_(static_cast<double>(output_rate) / input_rate) {
    int error = 0;
    if (input_rate <= 0 || output_rate <= 0 || src_is_valid_ratio(ratio_) == 0)
        throw std::runtime_error("Cannot resample audio: rate out of range");
    state_ = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &error);
    if (state_ == nullptr)
        throw std::runtime_error(std::string("Cannot resample audio: ") + src_strerror(error));
}

Resampler::~Resampler() { src_delete(state_); }

std::vector<float> Resampler::process(const float* samples, std::size_t count) {
    return run(samples, count, false);
}

std::vector<float> Resampler::flush() { return run(nullptr, 0, true); }

std::vector<float> Resampler::run(const float* samples, std::size_t count, bool last) {
    std::vector<float> out;
    float buffer[4096];
    SRC_DATA data{};
    static const float kNone[1] = {0.0f};
    data.data_in = samples != nullptr ? samples : kNone;
    data.input_frames = static_cast<long>(count);
    data.src_ratio = ratio_;
    data.end_of_input = last ? 1 : 0;
    // The converter takes what input it can per call; loop until it has
    // taken everything and, at the end, given everything back.
    for (;;) {
        data.data_out = buffer;
        data.output_frames = static_cast<long>(sizeof buffer / sizeof buffer[0]);
        const int error = src_process(state_, &data);
        if (error != 0)
            throw std::runtime_error(std::string("Cannot resample audio: ") + src_strerror(error));
        out.insert(out.end(), buffer, buffer + data.output_frames_gen);
        data.data_in += data.input_frames_used;
        data.input_frames -= data.input_frames_used;
        const bool full = data.output_frames_gen == data.output_frames;
        if (data.input_frames == 0 && !full && (!last || data.output_frames_gen == 0)) break;
    }
    return out;
}

}  // namespace zelvan_tts
