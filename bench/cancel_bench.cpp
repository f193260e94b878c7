// How soon zelvan_tts_cancel stops a running synthesis: 100 cancels from a
// second thread at random points of a long text, the time from the cancel to
// the synthesis's return, median and max. The voice is the test model with
// a ballast weight, so that each chunk's model call costs real time.
#include "zelvan_tts.h"

#include "tools/test_models.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int started(void* user_data, const float*, size_t) {
    static_cast<std::atomic<bool>*>(user_data)->store(true);
    return 0;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("zelvan_cancel_bench_" + std::to_string(getpid()));
    fs::create_directories(root);
    zelvan_tts::test_models::write_voice_model((root / "multivoice_base.bin").string(),
                                               zelvan_tts::test_models::VoiceModelKind::Timed,
                                               4'000'000);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    zelvan_tts_engine_params params = zelvan_tts_default_params();
    const std::string models = root.string();
    params.models_root = models.c_str();
    zelvan_tts_engine* engine = nullptr;
    if (zelvan_tts_engine_open(&params, &engine) != ZELVAN_TTS_OK) {
        std::fprintf(stderr, "cancel_bench: %s\n", zelvan_tts_last_error());
        return 1;
    }
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "Это предложение номер " + std::to_string(i) + ". ";
    std::mt19937 random(100);
    std::vector<double> ms;
    for (int round = 0; round < 100; ++round) {
        std::atomic<bool> speaking{false};
        Clock::time_point cancelled_at;
        const int wait_us = std::uniform_int_distribution<int>(0, 20000)(random);
        std::thread canceller([&] {
            while (!speaking) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::microseconds(wait_us));
            cancelled_at = Clock::now();
            zelvan_tts_cancel(engine);
        });
        const zelvan_tts_callbacks callbacks{started, nullptr, &speaking};
        const zelvan_tts_status status =
            zelvan_tts_synthesize(engine, text.data(), text.size(), nullptr, &callbacks);
        const Clock::time_point returned = Clock::now();
        speaking = true;
        canceller.join();
        if (status != ZELVAN_TTS_CANCELLED) {
            std::fprintf(stderr, "cancel_bench: the synthesis was not cancelled\n");
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(returned - cancelled_at).count());
    }
    zelvan_tts_engine_close(engine);
    fs::remove_all(root);
    std::sort(ms.begin(), ms.end());
    std::printf("cancel latency over %zu cancels: median %.2f ms, max %.2f ms\n", ms.size(),
                ms[ms.size() / 2], ms.back());
    return 0;
}
