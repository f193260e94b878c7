// The user dictionary at the size of a large one, 100,000 entries: reading
// the file, and its look-ups against the text steps they join (numbers,
// stress with the demo stress model, transliteration) on the same text.
#include "engine/text_stages.h"
#include "text/normalization.h"
#include "text/user_dictionary.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace zelvan_tts;

constexpr int kEntries = 100000;

bool fixture_built = false;

struct Fixture {
    fs::path dir;
    fs::path file;
    std::string text;       // about 100 KB of Russian sentences
    double text_steps = 0;  // seconds of the text steps over `text`
};

Fixture& fixture() {
    static Fixture f = [] {
        Fixture made;
        made.dir =
            fs::temp_directory_path() / ("zelvan_dictionary_bench_" + std::to_string(getpid()));
        fs::create_directories(made.dir / "models" / "accentor");
        fs::create_directory_symlink(fs::path(ZELVAN_SOURCE_DIR) / "demo" / "accentor" / "ru",
                                     made.dir / "models" / "accentor" / "ru");
        setenv("ZELVAN_TTS_MODEL_PATH", (made.dir / "models").c_str(), 1);

        // Words the text holds, then made-up ones of three to five syllables
        // with a stress mark, as a user's list of surnames would look.
        std::string content =
            "# a large dictionary\nзамок=з+амок\nмолоко=молок+о\nкнигу=кн+игу\n"
            "поезд=п+оезд\nмука=м+ука\nZelvan=зэлв+ан\nт.е.=то есть\n";
        static const char* const syllables[] = {"ба", "ве", "го", "ду", "же", "зи", "ко",
                                                "ла", "ми", "но", "пу", "ре", "са", "ты",
                                                "фе", "ха", "цо", "чу", "ша", "юр"};
        for (int i = 0; i < kEntries - 7; ++i) {
            std::string word;
            for (int n = i, k = 0; k < 3 || n > 0; ++k, n /= 20) word += syllables[n % 20];
            content += word + "=" + word.substr(0, 2) + "+" + word.substr(2) + "\n";
        }
        made.file = made.dir / "dictionary.txt";
        std::ofstream(made.file, std::ios::binary) << content;

        const std::string pool[] = {
            "В 2024 году на замке висел новый замок.",
            "Мы пили молоко и читали книгу о Zelvan.",
            "Поезд отправляется в 18:45 с третьей платформы.",
            "Все знали, что мука лежит в кладовой.",
        };
        for (int i = 0; made.text.size() < 100 * 1024; ++i) made.text += pool[i % 4] + " ";

        const RuntimeSettings stress_only{true, false};
        process_text(pool[0], "rus", stress_only);  // loads the stress model
        std::vector<double> times;
        for (int run = 0; run < 3; ++run) {
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(process_text(made.text, "rus", stress_only));
            times.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(times.begin(), times.end());
        made.text_steps = times[1];
        fixture_built = true;
        return made;
    }();
    return f;
}

void BM_UserDictionaryLoad100k(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(UserDictionary::load(f.file));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(fs::file_size(f.file)));
}
BENCHMARK(BM_UserDictionaryLoad100k)->Unit(benchmark::kMillisecond);

// The dictionary's time over the text as a percentage of the text steps'.
void BM_UserDictionaryApply100k(benchmark::State& state) {
    const Fixture& f = fixture();
    const UserDictionary dictionary = UserDictionary::load(f.file);
    const std::string numbers = normalize_numbers(f.text, "rus");
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(dictionary.apply(numbers, "rus"));
    }
    const double each =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
        static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(numbers.size()));
    state.counters["text_steps_ms"] = f.text_steps * 1e3;
    state.counters["percent_of_text_steps"] = 100 * each / f.text_steps;
}
BENCHMARK(BM_UserDictionaryApply100k)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (fixture_built) fs::remove_all(fixture().dir);
    return 0;
}
