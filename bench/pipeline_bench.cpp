// Where the time of one synthesis goes: the model's forward against the
// pipeline around it, and Sonic's tempo change against real time.
#include "engine/audio_processing.h"
#include "engine/model_constants.h"
#include "engine/pipeline.h"
#include "engine/voice_model.h"
#include "tools/test_models.h"

#include <ATen/Parallel.h>
#include <benchmark/benchmark.h>
#include <torch/script.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

namespace {

using namespace zelvan_tts;

// 98 letters: with the two frame ids, 100 ids make exactly one second of
// audio from the test model (480 samples per id).
const std::string kOneSecondChunk = [] {
    std::string s;
    for (int i = 0; i < 98; ++i) s += (i % 7 == 3) ? " " : "а";
    return s;
}();

torch::jit::Module& trivial_model() {
    static torch::jit::Module model = [] {
        configure_torch_runtime();
        at::set_num_threads(1);  // one core, as the figures are quoted
        const auto path = std::filesystem::temp_directory_path() /
                          ("zelvan_bench_model_" + std::to_string(getpid()));
        test_models::write_voice_model(path.string(), test_models::VoiceModelKind::Timed);
        torch::jit::Module m = load_voice_model(path.string());
        std::filesystem::remove(path);
        return m;
    }();
    return model;
}

void BM_ForwardOneSecond(benchmark::State& state) {
    torch::jit::Module& model = trivial_model();
    const std::vector<std::int64_t> ids = encode_text(kOneSecondChunk, SymbolMap::instance());
    const at::Tensor input = torch::tensor(ids).reshape({1, 100});
    const at::Tensor speaker = torch::tensor({std::int64_t{20}});
    for (auto _ : state) {
        c10::InferenceMode inference;
        benchmark::DoNotOptimize(model.forward({input, speaker}));
    }
}
BENCHMARK(BM_ForwardOneSecond);

void BM_PipelineOneSecondChunk(benchmark::State& state) {
    torch::jit::Module& model = trivial_model();
    const SynthesisRequest request{kOneSecondChunk, 20};
    std::vector<WordTimestamp> words;
    std::size_t samples = 0;
    for (auto _ : state) {
        words.clear();
        synthesize_with_word_timestamps(
            model, request,
            [&](const std::vector<float>& block) {
                samples += block.size();
                return true;
            },
            {}, &words);
    }
    if (samples != 48000 * static_cast<std::size_t>(state.iterations())) {
        state.SkipWithError("the chunk did not give one second of audio");
    }
}
BENCHMARK(BM_PipelineOneSecondChunk);

// Seconds of audio stretched per second of work: the real-time factor.
void BM_Sonic(benchmark::State& state, float speed, float pitch) {
    std::vector<float> second(kSampleRate);
    for (int i = 0; i < kSampleRate; ++i) {
        second[i] = 0.5f * std::sin(2 * M_PI * 180 * i / kSampleRate);
    }
    for (auto _ : state) {
        auto stretcher = SonicStretcher::create(kSampleRate, speed, pitch);
        stretcher->write(second);
        benchmark::DoNotOptimize(stretcher->read_available());
        stretcher->flush();
        benchmark::DoNotOptimize(stretcher->read_available());
    }
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_Sonic, speed_2, 2.0f, 1.0f);
BENCHMARK_CAPTURE(BM_Sonic, pitch_1_5, 1.0f, 1.5f);

}  // namespace

BENCHMARK_MAIN();
