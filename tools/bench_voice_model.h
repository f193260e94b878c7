// A voice model with the cost of a real neural voice, for measuring: symbol
// and speaker embeddings, a convolutional encoder, expansion by a fixed
// duration per symbol, and a convolutional decoder that upsamples to 48 kHz.
// About 25 million random weights. It makes no speech; it makes the model's
// share of the time and memory realistic.
#pragma once

#include <cstdint>
#include <string>

namespace zelvan_tts::bench_models {

// Audio samples the model produces per input symbol (50 ms).
inline constexpr int kBenchSamplesPerSymbol = 2400;

// Writes the packed model to `path` (UTF-8); returns its parameter count.
std::int64_t write_bench_voice_model(const std::string& path);

// Writes a model with the same inputs and result shapes whose forward costs
// next to nothing: the pipeline's work around the model, measured alone.
void write_null_voice_model(const std::string& path);

}  // namespace zelvan_tts::bench_models
