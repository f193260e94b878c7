// Stress placement on a text of 1,000 words: the whole stage, and the share of
// its time spent outside the model call (splitting, choosing, rebuilding).
// Two test models: one shaped like a real stress model (character n-grams,
// embedding bag, a small network) and one that only looks each word up, the
// cheapest model there can be, which shows the stage's own cost bare.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <torch/script.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "accentor/accentor.h"
#include "accentor/stress_marks.h"
#include "accentor/torch_stress_model.h"
#include "engine/voice_model.h"
#include "tools/test_accentor_models.h"

namespace {

namespace tm = zelvan_tts::test_models;

constexpr int kWords = 1000;

bool fixture_built = false;

struct Fixture {
    std::filesystem::path root;
    std::string text;
    std::shared_ptr<zelvan_tts::Accentor> ngram_model;   // shaped like a real stress model
    std::shared_ptr<zelvan_tts::Accentor> lookup_model;  // one dictionary look-up per word
};

std::string random_word(std::mt19937& rng) {
    static const char* const syllables[] = {"мо", "ло", "ко", "бе",  "ре", "за", "до",  "ма",
                                            "ка", "ни", "ст", "про", "вы", "ше", "гра", "ть"};
    std::string word;
    const int count = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < count; ++i) word += syllables[rng() % std::size(syllables)];
    return word;
}

std::shared_ptr<zelvan_tts::Accentor> load_from(const std::filesystem::path& root) {
    setenv("ZELVAN_TTS_MODEL_PATH", root.c_str(), 1);
    auto accentor = std::make_shared<zelvan_tts::Accentor>();
    accentor->initialize("ru");
    if (!accentor->initialized) throw std::runtime_error("bench model did not load");
    return accentor;
}

// Two models roots with a Russian stress model each, and a text of kWords
// words from a vocabulary of 600 (with a few others), with capitals,
// punctuation and line breaks.
Fixture& fixture() {
    static Fixture f = [] {
        Fixture made;
        char dir[] = "/tmp/zelvan_accentor_bench_XXXXXX";
        made.root = mkdtemp(dir);
        std::mt19937 rng(42);
        tm::StressModelDesign lookup;
        lookup.stress_columns = 6;
        std::vector<std::string> vocabulary;
        std::vector<std::string> trigrams;
        while (vocabulary.size() < 600) {
            const std::string word = random_word(rng);
            if (std::find(vocabulary.begin(), vocabulary.end(), word) != vocabulary.end()) {
                continue;
            }
            vocabulary.push_back(word);
            tm::StressWord entry{word, {}, {}};
            for (int c = 0; c < 6; ++c) entry.stress.push_back(static_cast<float>(rng() % 8));
            for (int c = 0; c < 3; ++c) entry.yo.push_back(static_cast<float>(rng() % 8));
            lookup.words.push_back(entry);
            for (const std::string& t : tm::character_trigrams(word)) {
                if (std::find(trigrams.begin(), trigrams.end(), t) == trigrams.end()) {
                    trigrams.push_back(t);
                }
            }
        }
        const std::string exceptions = "молоко 5 -1\nбереза 3 3\n";
        tm::write_stress_language((made.root / "lookup" / "accentor" / "ru").string(), lookup,
                                  exceptions);
        const std::filesystem::path ngram_dir = made.root / "ngram" / "accentor" / "ru";
        std::filesystem::create_directories(ngram_dir);
        tm::NgramStressModelDesign ngram;
        ngram.ngrams = trigrams;
        tm::write_ngram_stress_model((ngram_dir / "zelvan_accentor.bin").string(), ngram);
        std::string list;
        for (const std::string& t : trigrams) list += t + "\n";
        tm::write_gzip_data_file((ngram_dir / "ngrams.bin").string(), list);
        tm::write_gzip_data_file((ngram_dir / "exceptions.bin").string(), exceptions);

        static const char* const separators[] = {" ", " ", " ", ", ", ". ", "\n", " — "};
        for (int i = 0; i < kWords; ++i) {
            std::string word =
                rng() % 20 == 0 ? random_word(rng) : vocabulary[rng() % vocabulary.size()];
            if (rng() % 10 == 0) word = "«" + word + "»";
            if (rng() % 8 == 0) word = "Ð" + word;  // a capital in front
            made.text += word + separators[rng() % std::size(separators)];
        }
        made.ngram_model = load_from(made.root / "ngram");
        made.lookup_model = load_from(made.root / "lookup");
        fixture_built = true;
        return made;
    }();
    return f;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The whole stage and the model call alone on the word list the stage sends,
// timed in turns so that both meet the same load on the machine; the
// difference of their medians is the stage's own work around the model.
void process_thousand_words(benchmark::State& state, zelvan_tts::Accentor& accentor) {
    const Fixture& f = fixture();
    c10::List<std::string> words;
    for (const auto& record : zelvan_tts::split_words(f.text)) {
        if (record.is_word) words.push_back(record.clean);
    }
    torch::jit::Module& module = *zelvan_tts::stress_module(*accentor.model);
    std::vector<double> model_runs;
    std::vector<double> process_runs;
    for (auto _ : state) {
        {
            c10::InferenceMode inference;
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(module.forward({c10::IValue(words)}));
            model_runs.push_back(seconds_since(start));
        }
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(accentor.process(f.text));
        process_runs.push_back(seconds_since(start));
    }
    const double model_seconds = median(model_runs);
    const double process_seconds = median(process_runs);
    state.counters["process_us"] = process_seconds * 1e6;
    state.counters["model_us"] = model_seconds * 1e6;
    state.counters["outside_model_us"] = (process_seconds - model_seconds) * 1e6;
    state.counters["outside_model_pct"] =
        100.0 * (process_seconds - model_seconds) / process_seconds;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(f.text.size()));
}

void BM_ProcessThousandWordsNgramModel(benchmark::State& state) {
    process_thousand_words(state, *fixture().ngram_model);
}
BENCHMARK(BM_ProcessThousandWordsNgramModel)->Unit(benchmark::kMicrosecond);

// The cheapest possible model: the stage's own work dominates here.
void BM_ProcessThousandWordsLookupModel(benchmark::State& state) {
    process_thousand_words(state, *fixture().lookup_model);
}
BENCHMARK(BM_ProcessThousandWordsLookupModel)->Unit(benchmark::kMicrosecond);

// The text work alone: split, vowels and marks, with the model's part faked
// by fixed choices, to see what the stage costs per word without any model.
void BM_SplitAndMarkThousandWords(benchmark::State& state) {
    const Fixture& f = fixture();
    const zelvan_tts::VowelSets vowels = zelvan_tts::vowel_sets("ru");
    const zelvan_tts::VowelLookup lookup =
        zelvan_tts::vowel_lookup(vowels.lower, vowels.upper, true);
    zelvan_tts::VowelPositions positions;
    for (auto _ : state) {
        std::vector<zelvan_tts::TokenRecord> records = zelvan_tts::split_words(f.text);
        std::string out;
        out.reserve(f.text.size() + records.size());
        for (auto& record : records) {
            if (record.is_word) {
                zelvan_tts::vowel_positions(record.clean, lookup, positions);
                if (!positions.vowels.empty()) {
                    record.text = zelvan_tts::insert_stress_mark(record.text, positions.vowels[0]);
                }
            }
            out += record.text;
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(f.text.size()));
}
BENCHMARK(BM_SplitAndMarkThousandWords)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    zelvan_tts::configure_torch_runtime();  // as the synthesis hosts run LibTorch
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (fixture_built) std::filesystem::remove_all(fixture().root);
    return 0;
}
