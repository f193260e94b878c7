// Throughput of the text stages on realistic inputs, in bytes per second.
#include <benchmark/benchmark.h>

#include <string>

#include "text/normalization.h"
#include "text/transliteration.h"

namespace {

// About a megabyte of Russian prose with numbers and a few Latin words.
std::string mixed_cyrillic_text() {
    const std::string paragraph =
        "В 2024 году в городе проживало 1250345 человек, а бюджет составил "
        "-15 миллионов при росте на 3.14 процента. Компания Zelvan открыла 12 "
        "офисов и наняла 980 сотрудников; к 2030 году их станет 21000. "
        "Поезд №7 отправляется в 18:45 с платформы 3, билет стоит 1999 рублей. ";
    std::string text;
    while (text.size() < (1u << 20)) text += paragraph;
    return text;
}

// About a megabyte of English-like Latin text.
std::string latin_text() {
    const std::string paragraph =
        "The quick brown fox jumps over the lazy dog while Shchukin and Zhukov "
        "watch the yellow yacht sail past the old church; they're young, yes. ";
    std::string text;
    while (text.size() < (1u << 20)) text += paragraph;
    return text;
}

void BM_NormalizeNumbersRussian(benchmark::State& state) {
    const std::string text = mixed_cyrillic_text();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelvan_tts::normalize_numbers(text, "rus"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_NormalizeNumbersRussian);

void BM_TransliterateMixedCyrillic(benchmark::State& state) {
    const std::string text = zelvan_tts::normalize_numbers(mixed_cyrillic_text(), "rus");
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelvan_tts::transliterate(text, "rus"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_TransliterateMixedCyrillic);

void BM_TransliterateLatin(benchmark::State& state) {
    const std::string text = latin_text();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelvan_tts::transliterate(text, "rus"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_TransliterateLatin);

void BM_TransliterateGeorgian(benchmark::State& state) {
    std::string text;
    while (text.size() < (1u << 20)) text += "საქართველოს დედაქალაქი თბილისია, ჰკითხა მან. ";
    for (auto _ : state) {
        benchmark::DoNotOptimize(zelvan_tts::transliterate(text, "kat"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_TransliterateGeorgian);

}  // namespace

BENCHMARK_MAIN();
