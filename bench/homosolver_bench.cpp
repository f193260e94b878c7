// Homograph resolution: the word-piece tokenizer's throughput, and the cost
// of resolving a 300-word text with 10 homographs, split between the model
// call and everything around it (search, marking, encoding, replacement).
#include "engine/voice_model.h"
#include "homosolver/homograph_stage.h"
#include "homosolver/homograph_text.h"
#include "homosolver/homosolver.h"
#include "homosolver/torch_homograph_model.h"
#include "shared/symbols/code_points.h"
#include "tools/test_homosolver_models.h"

#include <benchmark/benchmark.h>
#include <torch/script.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

const char* const kWords[] = {
    "мы",      "шли",   "через",   "старый",  "парк",   "к",     "реке",     "где",
    "стоял",   "дом",   "с",       "высокой", "крышей", "и",     "большим",  "окном",
    "вечером", "город", "затихал", "только",  "ветер",  "гулял", "по",       "улицам",
    "Утром",   "дети",  "бежали",  "в",       "школу",  "а",     "взрослые", "на",
    "работу",  "Никто", "не",      "знал",    "что",    "будет", "завтра",   "лето",
};

std::vector<std::string> bench_vocab() {
    std::vector<std::string> vocab = test_models::standard_homograph_resources().vocab;
    for (const char* word : kWords) vocab.push_back(word);
    // Letters and continuation letters, so that unknown words are split.
    for (char32_t c = 0x430; c <= 0x44F; ++c) {
        std::string letter;
        append_utf8(letter, c);
        vocab.push_back(letter);
        vocab.push_back("##" + letter);
    }
    return vocab;
}

// 300 words, punctuation after every eighth; every thirtieth word a homograph.
std::string bench_text() {
    const char* homographs[] = {"замок", "все", "мука", "Замок", "все"};
    std::mt19937 random(7);
    std::string text;
    for (int i = 0; i < 300; ++i) {
        if (i % 30 == 15) {
            text += homographs[(i / 30) % 5];
        } else if (i % 11 == 3) {
            text += "незнакомое";  // spelt by pieces
        } else {
            text += kWords[random() % std::size(kWords)];
        }
        text += (i % 8 == 7) ? ". " : " ";
    }
    return text;
}

HomoSolver& solver_with(int encoder_layers, int hidden_size) {
    static const fs::path root =
        fs::temp_directory_path() / ("zelvan_homosolver_bench_" + std::to_string(getpid()));
    test_models::HomographResources resources = test_models::standard_homograph_resources();
    resources.vocab = bench_vocab();
    resources.model.encoder_layers = encoder_layers;
    resources.model.hidden_size = hidden_size;
    test_models::write_homograph_resources((root / "homosolver").string(), resources);
    setenv("ZELVAN_TTS_MODEL_PATH", root.c_str(), 1);
    release_homosolver();
    HomoSolver& solver = *get_homosolver();
    fs::remove_all(root);
    if (!solver.initialized) throw std::runtime_error("bench resources did not load");
    return solver;
}

void BM_Encode(benchmark::State& state) {
    HomoSolver solver;
    const auto vocab = bench_vocab();
    for (std::size_t i = 0; i < vocab.size(); ++i) solver.vocab[vocab[i]] = std::int32_t(i);
    const std::string text = bench_text();
    for (auto _ : state) benchmark::DoNotOptimize(solver.encode(text));
    state.SetBytesProcessed(state.iterations() * std::int64_t(text.size()));
}
BENCHMARK(BM_Encode);

void BM_FindHomographs(benchmark::State& state) {
    HomoSolver& solver = solver_with(0, 2);
    const std::string text = bench_text();
    for (auto _ : state) benchmark::DoNotOptimize(find_homographs(text, solver.homodict));
    state.SetBytesProcessed(state.iterations() * std::int64_t(text.size()));
}
BENCHMARK(BM_FindHomographs);

// The batch resolve hands to the model, built from the same public steps.
std::vector<torch::jit::IValue> model_inputs(const HomoSolver& solver, const std::string& text) {
    std::vector<std::vector<std::int32_t>> rows;
    std::vector<std::int64_t> opens, closes;
    PieceCache cache;
    for (const auto& occurrence : find_homographs(text, solver.homodict)) {
        rows.push_back(solver.row(text, occurrence, cache));
        const auto& ids = rows.back();
        opens.push_back(std::find(ids.begin(), ids.end(), solver.homo_open_id) - ids.begin());
        closes.push_back(std::find(ids.begin(), ids.end(), solver.homo_close_id) - ids.begin());
    }
    std::size_t width = 0;
    for (const auto& row : rows) width = std::max(width, row.size());
    at::Tensor ids = torch::full({std::int64_t(rows.size()), std::int64_t(width)},
                                 std::int64_t(solver.pad_id), torch::kLong);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t j = 0; j < rows[i].size(); ++j) {
            ids[std::int64_t(i)][std::int64_t(j)] = rows[i][j];
        }
    }
    return {ids, torch::tensor(opens), torch::tensor(closes)};
}

// state.range(0), state.range(1): encoder layers and width of the stand-in
// classifier; with no layers it only looks up two embeddings per row.
void BM_Resolve(benchmark::State& state) {
    configure_torch_runtime();
    HomoSolver& solver = solver_with(int(state.range(0)), int(state.range(1)));
    const std::string text = bench_text();
    if (solver.resolve(text) == text) state.SkipWithError("nothing resolved");
    for (auto _ : state) benchmark::DoNotOptimize(solver.resolve(text));
    state.SetBytesProcessed(state.iterations() * std::int64_t(text.size()));
}
BENCHMARK(BM_Resolve)->Args({0, 2})->Args({2, 64})->Unit(benchmark::kMillisecond);

void BM_ModelCallOnly(benchmark::State& state) {
    configure_torch_runtime();
    HomoSolver& solver = solver_with(int(state.range(0)), int(state.range(1)));
    const auto inputs = model_inputs(solver, bench_text());
    torch::jit::Module& module = *homograph_module(*solver.model);
    for (auto _ : state) {
        c10::InferenceMode inference;
        benchmark::DoNotOptimize(module.forward(inputs));
    }
}
BENCHMARK(BM_ModelCallOnly)->Args({0, 2})->Args({2, 64})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelvan_tts

BENCHMARK_MAIN();
