// The demo voice against real time: one core, one chunk of ordinary Russian
// text; the counter x_real_time is seconds of audio per second of work
// (goal: at least 100). Reads the demo voice the build wrote into
// build/models, where the programs find it.
#include "engine/model_constants.h"
#include "core/search_paths.h"
#include "engine/voice_model.h"
#include "shared/symbols/symbols.h"

#include <ATen/Parallel.h>
#include <benchmark/benchmark.h>
#include <torch/script.h>

namespace {

using namespace zelvan_tts;

torch::jit::Module& demo_voice() {
    static torch::jit::Module model = [] {
        configure_torch_runtime();
        return load_voice_model(find_voice_model_path().string());
    }();
    return model;
}

void BM_DemoVoiceChunk(benchmark::State& state) {
    torch::jit::Module& model = demo_voice();
    at::set_num_threads(1);  // after loading, which sets the engine's own count
    const std::vector<std::int64_t> ids = encode_text(
        "Стар+инный з+амок н+а холм+е сто+ит уж+е дв+ести пятьдес+ят л+ет, и в н+ём "
        "ж+ивут л+юди, кот+орые л+юбят сво+ю з+емлю и зн+ают её ист+орию.",
        SymbolMap::instance());
    const auto n = static_cast<std::int64_t>(ids.size());
    const torch::Tensor input = torch::tensor(ids, torch::kInt64).reshape({1, n});
    const torch::Tensor speaker = torch::tensor({std::int64_t{20}});
    double audio_seconds = 0.0;
    for (auto _ : state) {
        torch::InferenceMode guard;
        const c10::IValue out = model.forward({input, speaker});
        audio_seconds +=
            static_cast<double>(out.toTuple()->elements()[0].toTensor().numel()) / kSampleRate;
    }
    state.counters["x_real_time"] = benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
    state.counters["audio_s"] = audio_seconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DemoVoiceChunk)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
