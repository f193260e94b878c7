// bench_report [OUTPUT.md]
// Measures where the time and memory of Zelvan TTS go and writes one table:
// each row a figure, its unit, the command that produced it, and the machine.
// Timings are medians of repeated runs; compare figures within one run only.
//
//   bench_report --load PATH   (internal) loads a model in a fresh process
//                              and prints "seconds peak_mb module_mb"
//   bench_report --linked-client info | say OUT.wav TEXT
//                              (internal) the zelvan_tts command as it was
//                              when it linked LibTorch, for comparison
//   ZELVAN_BENCH_ONLY=hostile bench_report [OUTPUT.md]
//                              only the hostile texts, their rows replaced
//   ZELVAN_BENCH_ONLY=library bench_report [OUTPUT.md]
//                              only the start-up of a program linking
//                              libzelvan_tts and the cancel latency
//   bench_report --speak ROOT FILE
//                              (internal) speaks FILE through libzelvan_tts
//                              with the models of ROOT, at most 20 blocks
#include "bench/traced_run.h"
#include "shared/audio/wav_writer.h"
#include "engine/model_constants.h"
#include "engine/pipeline.h"
#include "core/settings.h"
#include "engine/text_blocks.h"
#include "engine/text_chunks.h"
#include "engine/text_stages.h"
#include "engine/voice_model.h"
#include "engine/word_timestamps.h"
#include "platform/local_pipe.h"
#include "platform/object_names.h"
#include "protocol/protocol.h"
#include "text/normalization.h"
#include "text/written_forms.h"
#include "text/transliteration.h"
#include "tools/bench_voice_model.h"
#include "tools/torchscript_packing.h"
#include "zelvan_tts.h"

#include <ATen/Parallel.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <torch/script.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using namespace zelvan_tts;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Row {
    std::string figure;
    std::string value;
    std::string unit;
    std::string command;
};

std::vector<Row> rows;

void add(const std::string& figure, double value, const std::string& unit,
         const std::string& command, int precision = 2) {
    std::ostringstream v;
    v.setf(std::ios::fixed);
    v.precision(precision);
    v << value;
    rows.push_back({figure, v.str(), unit, command});
    std::cerr << figure << ": " << v.str() << " " << unit << "\n";
}

void add_note(const std::string& figure, const std::string& text, const std::string& command) {
    rows.push_back({figure, text, "", command});
    std::cerr << figure << ": " << text << "\n";
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Median of `runs` timings of `work`, in seconds.
double median_time(int runs, const std::function<void()>& work) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        t.push_back(seconds_since(start));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Shortest of `runs` timings of `work`, in seconds.
double best_time(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, seconds_since(start));
    }
    return best;
}

std::string machine() {
    std::ifstream in("/proc/cpuinfo");
    std::string line, model = "unknown CPU";
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    return model + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores";
}

std::string sentences(int n) {
    const char* pool[] = {
        "В 2024 году на замке висел новый замок.",
        "Мы пили молоко и читали книгу о Zelvan.",
        "Поезд отправляется в 18:45 с третьей платформы.",
        "Все знали, что мука лежит в кладовой.",
    };
    std::string text;
    for (int i = 0; i < n; ++i) text += std::string(i ? " " : "") + pool[i % 4];
    return text;
}

// ---- text stages ----------------------------------------------------------

void text_throughput() {
    std::string cyrillic, latin;
    while (cyrillic.size() < (4u << 20)) cyrillic += sentences(4) + " ";
    while (latin.size() < (4u << 20))
        latin += "The quick brown fox jumps over the lazy dog; Shchukin watches. ";
    const auto mbps = [](std::size_t bytes, double s) { return bytes / s / 1e6; };
    add("normalize_numbers, Russian text with numbers",
        mbps(cyrillic.size(), median_time(5, [&] { normalize_numbers(cyrillic, "rus"); })), "MB/s",
        "bench_report (text)", 0);
    add("read_written_forms, Russian text with numbers",
        mbps(cyrillic.size(), median_time(5, [&] { read_written_forms(cyrillic, "rus"); })),
        "MB/s", "bench_report (text)", 0);
    add("transliterate, Russian text with Latin words",
        mbps(cyrillic.size(), median_time(5, [&] { transliterate(cyrillic, "rus"); })), "MB/s",
        "bench_report (text)", 0);
    add("transliterate, Latin text",
        mbps(latin.size(), median_time(5, [&] { transliterate(latin, "rus"); })), "MB/s",
        "bench_report (text)", 0);
}

// ---- model loading -----------------------------------------------------------

long status_kib(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
    }
    return -1;
}

int load_in_this_process(const std::string& path) {
    configure_torch_runtime();
    const long base = status_kib("VmRSS");
    const auto start = Clock::now();
    torch::jit::Module m = load_voice_model(path);
    const double s = seconds_since(start);
    std::printf("%f %f %f\n", s, (status_kib("VmHWM") - base) / 1024.0,
                (status_kib("VmRSS") - base) / 1024.0);
    return 0;
}

void model_loading(const std::string& self, const std::string& model_path) {
    std::vector<double> times, peaks, modules;
    for (int i = 0; i < 3; ++i) {
        const std::string command = "'" + self + "' --load '" + model_path + "'";
        FILE* p = popen(command.c_str(), "r");
        double s = 0, peak = 0, module = 0;
        if (p != nullptr && std::fscanf(p, "%lf %lf %lf", &s, &peak, &module) == 3) {
            times.push_back(s);
            peaks.push_back(peak);
            modules.push_back(module);
        }
        if (p != nullptr) pclose(p);
    }
    if (times.empty()) return add_note("model loading", "failed", "bench_report (load)");
    std::sort(times.begin(), times.end());
    std::sort(peaks.begin(), peaks.end());
    std::sort(modules.begin(), modules.end());
    const double file_mb = fs::file_size(model_path) / 1048576.0;
    add("realistic model: file size", file_mb, "MiB", "zelvan_tts_bench_model", 1);
    add("realistic model: decrypt + load + freeze + optimize", times[1], "s",
        "bench_report (load)");
    add("realistic model: peak resident memory while loading", peaks[1], "MiB",
        "bench_report (load)", 1);
    add("realistic model: resident memory of the loaded module", modules[1], "MiB",
        "bench_report (load)", 1);
    add("realistic model: loading peak / (2 x file + module)",
        peaks[1] / (2 * file_mb + modules[1]), "ratio", "bench_report (load)");
}

// ---- in-process synthesis ---------------------------------------------------

struct Synthesis {
    double seconds = 0;
    double audio_seconds = 0;
};

Synthesis synthesize(torch::jit::Module& model, const std::string& text, float speed = 1.0f) {
    std::size_t samples = 0;
    SynthesisRequest request{text, 20};
    request.speed = speed;
    const auto start = Clock::now();
    synthesize_with_word_timestamps(
        model, request,
        [&](const std::vector<float>& block) {
            samples += block.size();
            return true;
        },
        {}, nullptr);
    return {seconds_since(start), static_cast<double>(samples) / kSampleRate};
}

// The model's own time for the chunks of `text`, called as the pipeline calls it.
double forward_time(torch::jit::Module& model, const std::string& text) {
    const ProcessedText processed = process_text(text, "rus", load_settings_file());
    double total = 0;
    for (const std::string& chunk : split_into_chunks(processed.script, kMaxChunkChars)) {
        const auto ids = encode_text(chunk, SymbolMap::instance());
        const at::Tensor input =
            torch::tensor(ids, torch::kInt64).reshape({1, static_cast<std::int64_t>(ids.size())});
        const at::Tensor speaker = torch::tensor({std::int64_t{20}});
        c10::InferenceMode inference;
        const auto start = Clock::now();
        model.forward({input, speaker});
        total += seconds_since(start);
    }
    return total;
}

void in_process(torch::jit::Module& model, const std::string& name,
                torch::jit::Module* null_model) {
    // Warm-up cost: the first call against the tenth.
    std::vector<double> calls;
    for (int i = 0; i < 10; ++i) calls.push_back(synthesize(model, sentences(1)).seconds);
    add(name + ": first synthesis call (1 sentence)", calls.front() * 1000, "ms",
        "bench_report (warm-up)", 1);
    add(name + ": tenth synthesis call (1 sentence)", calls.back() * 1000, "ms",
        "bench_report (warm-up)", 1);

    // The pipeline's own work, measured around a forward that costs nothing,
    // against the whole synthesis with the real forward.
    if (null_model != nullptr) {
        for (int n : {1, 20}) {
            const std::string text = sentences(n);
            // Best of several runs: the difference of two small times.
            const double around = best_time(7, [&] { synthesize(*null_model, text); });
            double null_forward = forward_time(*null_model, text);
            for (int r = 0; r < 6; ++r)
                null_forward = std::min(null_forward, forward_time(*null_model, text));
            const double total = median_time(3, [&] { synthesize(model, text); });
            add(name + ": time outside forward, " + std::to_string(n) + "-sentence text",
                std::max(0.0, around - null_forward) / total * 100, "%", "bench_report (overhead)",
                4);
        }
    }

    for (int threads : {4, 2}) {
        at::set_num_threads(threads);
        for (float speed : {1.0f, 2.0f}) {
            std::vector<double> rtf;
            for (int r = 0; r < 3; ++r) {
                const Synthesis s = synthesize(model, sentences(4), speed);
                rtf.push_back(s.seconds / s.audio_seconds);
            }
            std::sort(rtf.begin(), rtf.end());
            std::ostringstream label;
            label << name << ": real-time factor, speed " << speed << ", " << threads << " threads";
            add(label.str(), rtf[1], "s per s of audio", "bench_report (rtf)", 3);
        }
    }
    at::set_num_threads(4);
}

// ---- through the server -------------------------------------------------------

struct Server {
    pid_t pid = 0;
    bool ready = false;
};

Server start_server(const std::string& program, const std::string& models_root,
                    const fs::path& config, bool stages, int n) {
    if (models_root.empty()) {
        unsetenv("ZELVAN_TTS_MODEL_PATH");
    } else {
        setenv("ZELVAN_TTS_MODEL_PATH", models_root.c_str(), 1);
    }
    setenv("ZELVAN_TTS_NAMESPACE",
           ("bench." + std::to_string(getpid()) + "." + std::to_string(n)).c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    fs::create_directories(config / "ZelvanTTS");
    std::ofstream(config / "ZelvanTTS" / "config.json")
        << (stages ? R"({"enable_accentor": true, "enable_homosolver": true})"
                   : R"({"enable_accentor": false, "enable_homosolver": false})");
    Server s;
    std::string p = program;
    char* argv[] = {p.data(), nullptr};
    if (posix_spawn(&s.pid, p.c_str(), nullptr, nullptr, argv, environ) != 0) return s;
    for (int i = 0; i < 12000 && !s.ready; ++i) {
        s.ready = connect_pipe(object_name(NamedObject::Pipe)) != nullptr;
        if (!s.ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return s;
}

void stop_server(Server& s) {
    if (auto pipe = connect_pipe(object_name(NamedObject::Pipe))) {
        send_message(*pipe, MessageType::Shutdown, nullptr, 0);
    }
    waitpid(s.pid, nullptr, 0);
}

// Seconds from sending a Synthesize of `text` to its first audio (the rest
// is cancelled) or, with `whole`, to its SynthesisDone; -1 on failure.
double request_time(const std::string& text, bool whole) {
    auto pipe = connect_pipe(object_name(NamedObject::Pipe));
    if (!pipe) return -1;
    const auto request = encode_req_synth(ReqSynth{20, 1, 1, 1, 0}, text);
    MessageHeader header{};
    std::vector<std::uint8_t> payload;
    const auto start = Clock::now();
    send_message(*pipe, MessageType::Synthesize, request.data(), request.size());
    double latency = -1;
    while (read_message(*pipe, header, payload)) {
        const auto type = static_cast<MessageType>(header.type);
        if (type == MessageType::AudioChunk && !whole && latency < 0) {
            latency = seconds_since(start);
            send_message(*pipe, MessageType::Cancel, nullptr, 0);
        }
        if (type == MessageType::SynthesisDone) return whole ? seconds_since(start) : latency;
        if (type == MessageType::Error) break;
    }
    return whole ? -1 : latency;
}

double first_audio(const std::string& text) { return request_time(text, false); }

void server_latency(const std::string& server, const std::string& name, const std::string& root,
                    const fs::path& work) {
    static int counter = 0;
    for (bool stages : {true, false}) {
        Server s = start_server(server, root, work / ("config" + std::to_string(counter)), stages,
                                counter);
        ++counter;
        if (!s.ready) {
            add_note(name + ": latency to first audio", "server did not start",
                     "zelvan_tts_server");
            if (s.pid > 0) kill(s.pid, SIGKILL), waitpid(s.pid, nullptr, 0);
            continue;
        }
        first_audio(sentences(1));  // the first call pays for loading the stages
        for (int n : {1, 10, 100}) {
            std::vector<double> t;
            for (int r = 0; r < 3; ++r) t.push_back(first_audio(sentences(n)));
            std::sort(t.begin(), t.end());
            add(name + ": first audio, " + std::to_string(n) + " sentences, stages " +
                    (stages ? "on" : "off"),
                t[1] * 1000, "ms", "bench_report (latency, client over the pipe)", 1);
        }
        stop_server(s);
    }
}

// ---- the C interface -------------------------------------------------------------

int take_audio(void*, const float*, size_t) { return 0; }
void take_word(void*, const zelvan_tts_word*) {}

// libzelvan_tts against the pipeline called directly with the same model:
// what the C interface adds to a synthesis (word spans and callbacks), and
// what opening an engine costs beside loading its voice.
void c_interface(const fs::path& root, const std::string& model_path) {
    zelvan_tts_engine_params params = zelvan_tts_default_params();
    const std::string root_text = root.string();
    params.models_root = root_text.c_str();
    zelvan_tts_engine* engine = nullptr;
    if (zelvan_tts_engine_open(&params, &engine) != ZELVAN_TTS_OK) {
        return add_note("C interface", zelvan_tts_last_error(), "bench_report (C interface)");
    }
    // Best of three each, so that neither pays for a cold file cache alone.
    const double open_seconds = best_time(3, [&] {
        zelvan_tts_engine* another = nullptr;
        zelvan_tts_engine_open(&params, &another);
        zelvan_tts_engine_close(another);
    });
    const double load_seconds = best_time(3, [&] { load_voice_model(model_path); });
    add("C interface: zelvan_tts_engine_open / load_voice_model", open_seconds / load_seconds,
        "ratio", "bench_report (C interface)", 2);

    torch::jit::Module module = load_voice_model(model_path);
    const std::string text = sentences(4);
    zelvan_tts_request request = zelvan_tts_default_request();
    const zelvan_tts_callbacks callbacks{take_audio, take_word, nullptr};
    for (int warm = 0; warm < 2; ++warm) {
        synthesize(module, text);
        zelvan_tts_synthesize(engine, text.data(), text.size(), &request, &callbacks);
    }
    const double direct = median_time(5, [&] { synthesize(module, text); });
    const double through = median_time(5, [&] {
        zelvan_tts_synthesize(engine, text.data(), text.size(), &request, &callbacks);
    });
    add("C interface: synthesis time beyond the pipeline called directly, 4 sentences",
        (through - direct) / direct * 100, "%", "bench_report (C interface)", 2);
    zelvan_tts_engine_close(engine);
}

// ---- long texts ----------------------------------------------------------------

std::string long_text(bool russian, std::size_t bytes) {
    std::string text;
    const std::string latin = "The quick brown fox jumps over the lazy dog; Shchukin watches. ";
    while (text.size() < bytes) text += russian ? sentences(4) + " " : latin;
    return text;
}

// The text steps with the demo stage models over growing texts: time must
// grow with the text, not faster. The reading of written forms is on; what
// it adds to 800 KB is measured against the same steps with it off.
void long_text_steps() {
    const RuntimeSettings on{true, true, true};
    {
        const std::string text = long_text(true, 800 * 1024) + std::string(
            "В 2024 году 10 000 человек, т.е. 15,5%, 12-й, 5 кг, XX век. ");
        const double with = best_time(3, [&] { process_text(text, "rus", on); });
        const double without =
            best_time(3, [&] { process_text(text, "rus", RuntimeSettings{true, true, false}); });
        add("text steps, demo stages, Russian 800 KB: time with the written-forms step",
            (with - without) / without * 100, "% beyond the steps without it",
            "bench_report (long texts)", 1);
    }
    process_text(sentences(4), "rus", on);  // loads the stage models
    for (const bool russian : {true, false}) {
        double previous = 0;
        for (const std::size_t kb : {50u, 200u, 800u}) {
            const std::string text = long_text(russian, kb * 1024);
            const double t = best_time(1, [&] { process_text(text, "rus", on); });
            const std::string name = std::string(russian ? "Russian" : "Latin") + " text, " +
                                     std::to_string(kb) + " KB";
            add("text steps, demo stages: " + name, t, "s", "bench_report (long texts)", 3);
            if (previous > 0) {
                add("text steps, demo stages: " + name + ", time ratio to a quarter of the text",
                    t / previous, "x (4x the text)", "bench_report (long texts)", 2);
            }
            previous = t;
        }
    }
}

// A voice that makes one sample per symbol: the text path and the stream of
// a very long text, measured without hours of audio.
void write_tiny_voice(const std::string& path) {
    torch::jit::Module module("TinyVoiceModel");
    module.define(R"(
def forward(self, ids: Tensor, speaker: Tensor):
    n = ids.size(1)
    audio = torch.zeros(1, n) + speaker.float() * 0.0
    times = torch.arange(n).float() / 48000.0
    return (audio, times)
)");
    pack_module(module, path);
}

void long_text_server(const std::string& server, const fs::path& work) {
    // First audio of a 1 MB text against that of its first sentence alone.
    Server s = start_server(server, "", work / "config_long", true, 900);
    if (s.ready) {
        first_audio(sentences(1));
        std::vector<double> one;
        for (int r = 0; r < 3; ++r) one.push_back(first_audio(sentences(1)));
        std::sort(one.begin(), one.end());
        const double whole = first_audio(long_text(true, 1 << 20));
        add("demo voice: first audio, one sentence, stages on", one[1] * 1000, "ms",
            "bench_report (long texts, client over the pipe)", 1);
        add("demo voice: first audio, 1 MB Russian text, stages on", whole * 1000, "ms",
            "bench_report (long texts, client over the pipe)", 1);
        stop_server(s);
    } else if (s.pid > 0) {
        kill(s.pid, SIGKILL), waitpid(s.pid, nullptr, 0);
    }

    // `zelvan_tts say` of 4 MB, streamed from the server to the file.
    const fs::path root = work / "tiny";
    fs::create_directories(root);
    write_tiny_voice((root / "multivoice_base.bin").string());
    for (const char* stage : {"accentor", "homosolver"}) {
        const fs::path demo = fs::path(server).parent_path() / ".." / "models" / stage;
        if (fs::exists(demo)) fs::create_directory_symlink(fs::canonical(demo), root / stage);
    }
    std::ofstream(work / "4mb.txt") << long_text(true, 4 << 20);
    setenv("ZELVAN_TTS_MODEL_PATH", root.c_str(), 1);
    setenv("ZELVAN_TTS_NAMESPACE", ("bench." + std::to_string(getpid()) + ".say").c_str(), 1);
    const std::string client = (fs::path(server).parent_path() / "zelvan_tts").string();
    const std::string say = "'" + client + "' say --voice 20 -o '" + (work / "4mb.wav").string() +
                            "' < '" + (work / "4mb.txt").string() + "' >/dev/null 2>&1";
    const auto start = Clock::now();
    const int status = std::system(say.c_str());
    const double t = seconds_since(start);
    (void)std::system(("'" + client + "' shutdown >/dev/null 2>&1").c_str());
    if (status == 0) {
        add("zelvan_tts say, 4 MB Russian text, one sample per symbol, stages on", t, "s",
            "zelvan_tts say --voice 20 -o out.wav < 4mb.txt", 1);
    } else {
        add_note("zelvan_tts say, 4 MB Russian text", "failed with status " + std::to_string(status),
                 "zelvan_tts say --voice 20 -o out.wav < 4mb.txt");
    }
    setenv("ZELVAN_TTS_MODEL_PATH", (work / "realistic").c_str(), 1);
}

// ---- the zelvan_tts command --------------------------------------------------------

// The command as it was while it linked LibTorch and the engine: every start
// paid for loading LibTorch, and `say` labelled its words with the whole text
// pipeline, stage models included. This program links both, so it plays
// that command for the comparison.
int linked_client(int argc, char** argv) {
    auto pipe = connect_pipe(object_name(NamedObject::Pipe));
    MessageHeader header{};
    std::vector<std::uint8_t> payload;
    if (!pipe) return 1;
    if (argc == 3 && std::string(argv[2]) == "info") {
        if (!send_message(*pipe, MessageType::GetInfo, nullptr, 0) ||
            !read_message(*pipe, header, payload) || payload.size() < 8) {
            return 1;
        }
        std::printf("speakers: %u\nsample rate: %u\n", get_u32(payload.data()),
                    get_u32(payload.data() + 4));
        return 0;
    }
    if (argc != 5 || std::string(argv[2]) != "say") return 2;
    const std::string text = argv[4];
    const auto request = encode_req_synth(ReqSynth{20, 1, 1, 1, 0}, text);
    if (!send_message(*pipe, MessageType::Synthesize, request.data(), request.size())) return 1;
    WavWriter wav(argv[3], kSampleRate);
    while (read_message(*pipe, header, payload)) {
        if (header.type == static_cast<std::uint32_t>(MessageType::AudioChunk)) {
            const std::size_t n = (payload.size() - 4) / 2;
            std::vector<std::int16_t> samples(n);
            for (std::size_t k = 0; k < n; ++k)
                samples[k] = static_cast<std::int16_t>(payload[4 + 2 * k] | payload[5 + 2 * k] << 8);
            wav.write(samples.data(), n);
        } else if (header.type == static_cast<std::uint32_t>(MessageType::SynthesisDone)) {
            break;
        } else if (header.type == static_cast<std::uint32_t>(MessageType::Error)) {
            return 1;
        }
    }
    wav.finish();
    std::size_t words = 0;
    const ProcessedText processed = process_text(text, "rus", load_settings_file());
    for (const std::string& chunk : split_into_chunks(processed.script, kMaxChunkChars))
        words += spoken_words(chunk).size();
    return words > 0 ? 0 : 1;
}

// Runs a program to its end with its output discarded; milliseconds, or -1
// when it failed.
double run_ms(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    int status = 1;
    const bool ok = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                    waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
                    WEXITSTATUS(status) == 0;
    const double ms = seconds_since(start) * 1000;
    posix_spawn_file_actions_destroy(&actions);
    return ok ? ms : -1;
}

// Peak resident memory of a program's run in MiB, -1 when it failed.
double peak_mib(std::vector<std::string> args) {
    const TracedRun r = traced_run(std::move(args));
    return r.ok ? r.peak_mib : -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Seconds from a Synthesize to its SynthesisDone, over the pipe.
double synthesis_time(const std::string& text) { return request_time(text, true); }

// What a program pays for linking libzelvan_tts: start to exit and peak
// memory of a C program that lists the voices, then the same program with
// its first zelvan_tts_engine_open (the engine library and LibTorch load
// there), and the cancel latency of an engine.
std::string first_line_of(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        if (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out = buffer;
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

void library_startup(const fs::path& bin, const std::string& root) {
    const std::string program = (bin / "link_startup").string();
    std::vector<double> start, opened;
    for (int i = 0; i < 20; ++i) start.push_back(run_ms({program}));
    add("program linking libzelvan_tts: start to exit, no engine", median(start), "ms",
        "bin/link_startup", 1);
    add("program linking libzelvan_tts: peak memory, no engine", peak_mib({program}), "MiB",
        "bin/link_startup", 1);
    std::vector<double> open_ms;
    for (int i = 0; i < 5; ++i) {
        opened.push_back(run_ms({program, root}));
        const std::string printed = first_line_of("'" + program + "' '" + root + "'");
        if (!printed.empty()) open_ms.push_back(std::atof(printed.c_str()));
    }
    const std::string with_open = "bin/link_startup ROOT (realistic model)";
    add("program linking libzelvan_tts: start to exit, first engine_open", median(opened), "ms",
        with_open, 1);
    if (!open_ms.empty())
        add("program linking libzelvan_tts: its first zelvan_tts_engine_open", median(open_ms),
            "ms", with_open, 1);
    add("program linking libzelvan_tts: peak memory, first engine_open",
        peak_mib({program, root}), "MiB", with_open, 1);
    // "cancel latency over 100 cancels: median M ms, max X ms"
    const std::string cancel = first_line_of("'" + (bin / "cancel_bench").string() + "'");
    double median_ms = 0, max_ms = 0;
    if (std::sscanf(cancel.c_str(), "cancel latency over 100 cancels: median %lf ms, max %lf ms",
                    &median_ms, &max_ms) == 2) {
        add("zelvan_tts_cancel to the synthesis's return: median of 100", median_ms, "ms",
            "bin/cancel_bench", 2);
        add("zelvan_tts_cancel to the synthesis's return: max of 100", max_ms, "ms",
            "bin/cancel_bench", 2);
    } else {
        add_note("zelvan_tts_cancel latency", "cancel_bench failed: " + cancel, "bin/cancel_bench");
    }
}

// zelvan_tts info and say against a running server, side by side with the
// command as it was while it linked LibTorch.
void client_commands(const fs::path& bin, const std::string& root, const fs::path& work) {
    Server s = start_server((bin / "zelvan_tts_server").string(), root, work / "config_client",
                            true, 950);
    if (!s.ready) {
        add_note("zelvan_tts info", "server did not start", "zelvan_tts info");
        if (s.pid > 0) kill(s.pid, SIGKILL), waitpid(s.pid, nullptr, 0);
        return;
    }
    const std::string text = "Привет, мир.";
    const std::string wav = (work / "x.wav").string();
    const std::string say = "zelvan_tts say -o x.wav \"" + text + "\"";
    synthesis_time(text);  // the first synthesis loads the stage models
    const struct {
        std::string name;
        std::vector<std::string> info;
        std::vector<std::string> say;
        int runs;
    } clients[] = {
        {"zelvan_tts", {(bin / "zelvan_tts").string(), "info"},
         {(bin / "zelvan_tts").string(), "say", "-o", wav, text}, 15},
        {"zelvan_tts as it was, linked to LibTorch",
         {(bin / "bench_report").string(), "--linked-client", "info"},
         {(bin / "bench_report").string(), "--linked-client", "say", wav, text}, 5},
    };
    for (const auto& c : clients) {
        std::vector<double> info, synthesis, whole, beyond;
        for (int r = 0; r < c.runs; ++r) {
            info.push_back(run_ms(c.info));
            // Each say beside a synthesis of its own over the pipe, so that
            // the difference is not the machine's mood between two series.
            synthesis.push_back(synthesis_time(text) * 1000);
            whole.push_back(run_ms(c.say));
            beyond.push_back(whole.back() - synthesis.back());
        }
        const double info_peak = peak_mib(c.info), say_peak = peak_mib(c.say);
        if (*std::min_element(info.begin(), info.end()) < 0 ||
            *std::min_element(whole.begin(), whole.end()) < 0 || info_peak < 0 || say_peak < 0) {
            add_note(c.name + ": info and say", "failed", "zelvan_tts info");
            continue;
        }
        add(c.name + ": info, whole process, running server", median(info), "ms",
            "zelvan_tts info", 1);
        add(c.name + ": info, peak resident memory", info_peak, "MiB", "zelvan_tts info", 1);
        add(c.name + ": say, whole process, running server", median(whole), "ms", say, 1);
        add(c.name + ": say, server's synthesis over the pipe beside it", median(synthesis), "ms",
            "bench_report (client over the pipe)", 1);
        add(c.name + ": say, beyond the server's synthesis time", median(beyond), "ms", say, 1);
        add(c.name + ": say, peak resident memory", say_peak, "MiB", say, 1);
    }
    stop_server(s);
}

// ---- a peer -------------------------------------------------------------------

void espeak_peer(const fs::path& work) {
    const std::string text = sentences(4);
    const fs::path wav = work / "espeak.wav";
    const std::string command =
        "espeak-ng -v ru -w '" + wav.string() + "' '" + text + "' 2>/dev/null";
    if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0) {
        return add_note("espeak-ng: real-time factor", "espeak-ng not installed",
                        "espeak-ng -v ru -w");
    }
    const double t = median_time(3, [&] { (void)std::system(command.c_str()); });
    std::ifstream in(wav, std::ios::binary);
    std::uint8_t h[44] = {};
    in.read(reinterpret_cast<char*>(h), 44);
    const double rate = h[24] | h[25] << 8 | h[26] << 16;
    const double audio = (fs::file_size(wav) - 44) / 2.0 / rate;
    add("espeak-ng (peer): real-time factor, same 4 sentences", t / audio, "s per s of audio",
        "espeak-ng -v ru -w out.wav TEXT", 3);
}

// ---- the recorded voice against its speaker ------------------------------------

// voice_quality_bench measures the recorded voice (and the formant voice and
// espeak-ng) against the held-out recordings; its figures join the table.
void voice_quality(const fs::path& bin, const fs::path& picture) {
    const std::string program = (bin / "voice_quality_bench").string();
    FILE* p = popen(("'" + program + "' --tsv --picture '" + picture.string() + "' 2>/dev/null").c_str(), "r");
    std::size_t found = 0;
    char line[1024];
    while (p != nullptr && std::fgets(line, sizeof line, p) != nullptr) {
        std::vector<std::string> fields;
        std::string field;
        for (const char* c = line; *c != '\0' && *c != '\n'; ++c) {
            if (*c == '\t') fields.push_back(std::move(field)), field.clear();
            else field += *c;
        }
        fields.push_back(field);
        if (fields.size() != 4) continue;
        rows.push_back({fields[0], fields[1], fields[2], fields[3]});
        std::cerr << fields[0] << ": " << fields[1] << " " << fields[2] << "\n";
        ++found;
    }
    if (p != nullptr) pclose(p);
    if (found == 0) add_note("recorded voice: closeness to the speaker", "voice_quality_bench failed", "voice_quality_bench");
}

// ---- reading real Russian text ---------------------------------------------

// reading_bench reads the hand-checked sentences through the text steps and
// espeak-ng; its Markdown goes below the table, its totals into it.
std::string reading(const fs::path& bin) {
    const std::string program = (bin / "reading_bench").string();
    FILE* p = popen(("'" + program + "' 2>/dev/null").c_str(), "r");
    std::string out;
    char buffer[4096];
    std::size_t n;
    while (p != nullptr && (n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    const int status = p != nullptr ? pclose(p) : -1;
    const std::size_t total = out.find("| **total** |");
    if (status != 0 || total == std::string::npos) {
        add_note("reading real Russian text", "reading_bench failed", "reading_bench");
        return {};
    }
    // | **total** | N | zelvan % | espeak % |
    std::vector<std::string> cells;
    std::string cell;
    for (std::size_t i = total + 1; i < out.size() && out[i] != '\n'; ++i) {
        if (out[i] == '|') cells.push_back(cell), cell.clear();
        else if (out[i] != ' ') cell += out[i];
    }
    if (cells.size() == 4) {
        rows.push_back({"reading real Russian text: sentences read exactly right (" + cells[1] +
                            " sentences)", cells[2], "%", "reading_bench"});
        rows.push_back({"espeak-ng (peer): same sentences read right", cells[3], "%", "reading_bench"});
        std::cerr << "reading real Russian text: " << cells[2] << " % (espeak-ng " << cells[3] << " %)\n";
    }
    return out;
}

// ---- hostile texts ------------------------------------------------------------------

struct HostileText {
    std::string name;
    std::string text;
};

// Texts no reader writes but every screen reader meets: pasted logs, code,
// encodings, OCR, runs of marks.
std::vector<HostileText> hostile_texts() {
    std::vector<HostileText> texts;
    texts.push_back({"one sentence", "Привет, как у тебя дела сегодня?"});
    std::string prose;
    const char* words[] = {"слово", "мимо", "дома", "летит", "быстро", "тихий", "вечер", "река"};
    for (int i = 0; prose.size() < 16384; ++i) prose += std::string(i ? " " : "") + words[i % 8];
    texts.push_back({"16 KB Russian prose, no punctuation", prose});
    const std::string digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string base64;
    std::uint32_t x = 12345;
    while (base64.size() < 16384) {
        x = x * 1103515245u + 12345u;
        base64 += digits[(x >> 16) % 64];
    }
    texts.push_back({"16 KB base64", base64});
    std::string hex;
    for (int i = 0; hex.size() < 16384; ++i) {
        char cell[8];
        x = x * 1103515245u + 12345u;
        std::snprintf(cell, sizeof cell, "%02x ", (x >> 16) & 0xFF);
        hex += cell;
    }
    texts.push_back({"16 KB hex dump", hex});
    std::string word;
    while (word.size() < (1u << 20)) word += "abcdefghijklmnopqrstuvwxyz";
    texts.push_back({"1 MB single word", word});
    std::string marks;
    while (marks.size() < (1u << 20)) marks += "., ;: !? -- ... ";
    texts.push_back({"1 MB punctuation", marks});
    texts.push_back({"100,000 line feeds", std::string(100000, '\n')});
    std::string mixed;
    while (mixed.size() < 16384)
        mixed += "привет hello გამარჯობა բարեւ сәлем 你好 \U0001F600 ";
    texts.push_back({"16 KB mixed scripts", mixed});
    return texts;
}

struct Speaking {
    double first_audio = -1;  // seconds
    double total = 0;
    int blocks = 0;
    double audio_seconds = 0;
};

// Speaks `text`; `stop` (when given) is asked after every block whether to
// cancel.
Speaking speak_through_library(zelvan_tts_engine* engine, const std::string& text,
                               const std::function<bool(const Speaking&)>& stop = {}) {
    struct State {
        Speaking s;
        Clock::time_point start;
        const std::function<bool(const Speaking&)>* stop;
    } state{{}, Clock::now(), &stop};
    zelvan_tts_request request = zelvan_tts_default_request();
    zelvan_tts_callbacks callbacks{};
    callbacks.audio = [](void* user, const float*, size_t count) -> int {
        auto* st = static_cast<State*>(user);
        if (st->s.first_audio < 0) st->s.first_audio = seconds_since(st->start);
        ++st->s.blocks;
        st->s.audio_seconds += static_cast<double>(count) / 48000.0;
        return *st->stop && (*st->stop)(st->s) ? 1 : 0;
    };
    callbacks.user_data = &state;
    zelvan_tts_synthesize(engine, text.data(), text.size(), &request, &callbacks);
    state.s.total = seconds_since(state.start);
    return state.s;
}

int speak_file(const std::string& root, const std::string& file) {
    zelvan_tts_engine_params params = zelvan_tts_default_params();
    params.models_root = root.c_str();
    zelvan_tts_engine* engine = nullptr;
    if (zelvan_tts_engine_open(&params, &engine) != ZELVAN_TTS_OK) return 1;
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    speak_through_library(engine, text, [](const Speaking& s) { return s.blocks >= 20; });
    zelvan_tts_engine_close(engine);
    return 0;
}

// First audio, the first chunk's own synthesis time, cancel latency and
// peak memory of each hostile text, through libzelvan_tts with the demo
// models; first audio and cancel through `zelvan_tts say` too.
void hostile(const fs::path& bin, const fs::path& work) {
    const fs::path root = bin / ".." / "models";
    if (!fs::exists(root / "tts" / "multivoice_base.bin")) {
        return add_note("hostile texts", "no demo voice (build/models)", "make build");
    }
    const std::string root_text = fs::canonical(root).string();
    zelvan_tts_engine_params params = zelvan_tts_default_params();
    params.models_root = root_text.c_str();
    params.stress = ZELVAN_TTS_STAGE_ON;
    params.homographs = ZELVAN_TTS_STAGE_ON;
    zelvan_tts_engine* engine = nullptr;
    if (zelvan_tts_engine_open(&params, &engine) != ZELVAN_TTS_OK) {
        return add_note("hostile texts", zelvan_tts_last_error(), "bench_report (hostile texts)");
    }
    const std::string lib = "bench_report (hostile texts, libzelvan_tts, demo voice)";
    speak_through_library(engine, "Привет.");  // loads the stages
    double reference_peak = -1;
    for (const HostileText& h : hostile_texts()) {
        // The first chunk as the engine cuts it, spoken alone.
        zelvan_tts_processed_text* processed = nullptr;
        const std::size_t first_block = text_block_end(h.text, 0);
        std::string first_chunk;
        if (zelvan_tts_process_text(engine, h.text.data(), first_block, 20, &processed) ==
            ZELVAN_TTS_OK) {
            const std::string script = processed->script;
            for (const TextSpan& span : split_into_chunk_spans(script, kMaxChunkChars)) {
                const std::string chunk = script.substr(span.offset, span.length);
                if (has_speech(chunk)) {
                    first_chunk = chunk;
                    break;
                }
            }
            zelvan_tts_processed_text_free(processed);
        }
        std::vector<double> firsts, chunks;
        for (int run = 0; run < 3; ++run) {
            firsts.push_back(
                speak_through_library(engine, h.text, [](const Speaking&) { return true; })
                    .first_audio);
            if (!first_chunk.empty())
                chunks.push_back(speak_through_library(engine, first_chunk).total);
        }
        const std::string name = "hostile, " + h.name;
        const double first = median(firsts);
        if (first < 0) {
            add_note(name + ": first audio", "no audio (nothing to say)", lib);
        } else {
            add(name + ": first audio", first * 1000, "ms", lib, 1);
            if (!chunks.empty()) {
                add(name + ": first audio beyond the first chunk's own synthesis",
                    (first - median(chunks)) * 1000, "ms", lib, 1);
            }
        }
        // A cancel asked from another thread 50 ms after the first audio
        // (at 100 ms when there is none by then) is seen at the next block:
        // the time until the call returns.
        std::atomic<bool> cancel{false};
        std::atomic<bool> audio{false};
        std::atomic<bool> returned_early{false};
        Clock::time_point asked{};
        std::thread canceller([&] {
            const auto start = Clock::now();
            while (!audio && !returned_early &&
                   Clock::now() - start < std::chrono::milliseconds(100))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (audio) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            asked = Clock::now();
            cancel = true;
        });
        const Speaking whole = speak_through_library(engine, h.text, [&](const Speaking&) {
            audio = true;
            return cancel.load();
        });
        const auto returned = Clock::now();
        returned_early = true;
        canceller.join();
        if (returned > asked) {
            add(name + ": cancel latency", std::chrono::duration<double, std::milli>(returned - asked).count(),
                "ms", lib, 1);
        } else {
            add(name + ": whole synthesis (done before a cancel)", whole.total * 1000,
                "ms", lib, 1);
        }
        if (whole.blocks > 0) {
            add(name + ": audio per block, largest possible 250 symbols", whole.audio_seconds / whole.blocks, "s", lib, 2);
        }
        // Peak memory of a process that speaks it (at most 20 blocks).
        const fs::path file = work / "hostile.txt";
        std::ofstream(file, std::ios::binary) << h.text;
        const double peak = peak_mib({(bin / "bench_report").string(), "--speak", root_text,
                                      file.string()});
        if (reference_peak < 0) reference_peak = peak;
        add(name + ": peak memory of a process speaking it", peak, "MiB", lib, 0);
        if (reference_peak > 0 && peak > 0)
            add(name + ": peak memory / one sentence's", peak / reference_peak, "x", lib, 2);
    }
    zelvan_tts_engine_close(engine);
}

// `zelvan_tts say --raw` of each hostile text against a running server with
// the demo models: the time to its first byte of audio, then an interrupt
// (which cancels the server's synthesis) to its exit.
void hostile_say(const fs::path& bin, const fs::path& work) {
    const fs::path root = bin / ".." / "models";
    if (!fs::exists(root / "tts" / "multivoice_base.bin")) return;
    Server s = start_server((bin / "zelvan_tts_server").string(), fs::canonical(root).string(),
                            work / "config_hostile", true, 960);
    if (!s.ready) return;
    const std::string cmd = "zelvan_tts say --raw --voice 20 < text";
    for (const HostileText& h : hostile_texts()) {
        const fs::path file = work / "hostile_say.txt";
        std::ofstream(file, std::ios::binary) << h.text;
        int out[2];
        if (pipe(out) != 0) break;
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            const int in = open(file.c_str(), O_RDONLY);
            dup2(in, 0);
            dup2(out[1], 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            close(out[0]);
            const std::string client = (bin / "zelvan_tts").string();
            execl(client.c_str(), client.c_str(), "say", "--raw", "--voice", "20",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        char byte = 0;
        const bool audio = read(out[0], &byte, 1) == 1;
        const double first = seconds_since(start);
        const auto asked = Clock::now();
        kill(pid, SIGINT);
        std::thread drain([fd = out[0]] {
            char buffer[65536];
            while (read(fd, buffer, sizeof buffer) > 0) {
            }
        });
        waitpid(pid, nullptr, 0);
        const double cancel = seconds_since(asked);
        drain.join();
        close(out[0]);
        const std::string name = "hostile, " + h.name + ", zelvan_tts say";
        if (audio) {
            add(name + ": first audio", first * 1000, "ms", cmd, 1);
            add(name + ": interrupt to exit (the server cancels)", cancel * 1000, "ms", cmd, 1);
        } else {
            add(name + ": whole run, no audio", first * 1000, "ms", cmd, 1);
        }
    }
    stop_server(s);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--load") return load_in_this_process(argv[2]);
    if (argc >= 2 && std::string(argv[1]) == "--linked-client") return linked_client(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "--speak") return speak_file(argv[2], argv[3]);
    const std::string output = argc > 1 ? argv[1] : "bench/RESULTS.md";
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    const fs::path work = fs::temp_directory_path() / ("zelvan_bench_" + std::to_string(getpid()));
    fs::create_directories(work / "realistic");
    const std::string realistic = (work / "realistic" / "multivoice_base.bin").string();
    bench_models::write_bench_voice_model(realistic);
    // The realistic model with the demo stages beside it.
    const fs::path demo_root = bin / ".." / "models";
    for (const char* stage : {"accentor", "homosolver"}) {
        if (fs::exists(demo_root / stage)) {
            fs::create_directory_symlink(fs::canonical(demo_root / stage),
                                         work / "realistic" / stage);
        }
    }
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    setenv("ZELVAN_TTS_MODEL_PATH", (work / "realistic").c_str(), 1);
    // ZELVAN_BENCH_ONLY=hostile or =library: only those rows of OUTPUT are
    // measured again and replaced, the others kept.
    const std::string only = std::getenv("ZELVAN_BENCH_ONLY") ? std::getenv("ZELVAN_BENCH_ONLY") : "";
    if (only == "hostile" || only == "library") {
        std::vector<std::string> prefixes;
        if (only == "hostile") {
            hostile(bin, work);
            hostile_say(bin, work);
            prefixes = {"| hostile, "};
        } else {
            library_startup(bin, (work / "realistic").string());
            prefixes = {"| program linking libzelvan_tts", "| zelvan_tts_cancel"};
        }
        fs::remove_all(work);
        std::vector<std::string> kept;
        {
            std::ifstream in(output);
            for (std::string line; std::getline(in, line);) {
                bool replaced = false;
                for (const std::string& p : prefixes) replaced = replaced || line.rfind(p, 0) == 0;
                if (!replaced) kept.push_back(line);
            }
        }
        std::ofstream out(output);
        for (const std::string& line : kept) out << line << "\n";
        const std::string m = machine();
        for (const Row& r : rows) {
            out << "| " << r.figure << " | " << r.value << " | " << r.unit << " | `" << r.command
                << "` | " << m << " |\n";
        }
        return 0;
    }

    text_throughput();
    long_text_steps();
    model_loading((bin / "bench_report").string(), realistic);
    configure_torch_runtime();
    const std::string null_path = (work / "null.bin").string();
    bench_models::write_null_voice_model(null_path);
    torch::jit::Module null_model = load_voice_model(null_path);
    {
        torch::jit::Module model = load_voice_model(realistic);
        in_process(model, "realistic model", &null_model);
    }
    const fs::path demo_model = demo_root / "tts" / "multivoice_base.bin";
    if (fs::exists(demo_model)) {
        torch::jit::Module model = load_voice_model(fs::canonical(demo_model).string());
        in_process(model, "demo voice", nullptr);
    } else {
        add_note("demo voice", "not built (build/models/tts/multivoice_base.bin missing)",
                 "make build");
    }
    c_interface(work / "realistic", realistic);
    library_startup(bin, (work / "realistic").string());
    const std::string server = (bin / "zelvan_tts_server").string();
    server_latency(server, "realistic model", (work / "realistic").string(), work);
    if (fs::exists(demo_model)) server_latency(server, "demo voice", "", work);
    long_text_server(server, work);
    hostile(bin, work);
    hostile_say(bin, work);
    client_commands(bin, (work / "realistic").string(), work);
    espeak_peer(work);
    // The picture of a held-out sentence lies beside the report.
    voice_quality(bin, fs::path(output).parent_path() / "recorded_voice.png");
    const std::string reading_table = reading(bin);
    std::string say_timings;  // what say --timings adds, a section of say_timings_bench
    if (FILE* p = popen(("'" + (bin / "say_timings_bench").string() + "' 2>/dev/null").c_str(), "r")) {
        char b[4096];
        for (std::size_t n; (n = std::fread(b, 1, sizeof b, p)) > 0;) say_timings.append(b, n);
        if (pclose(p) != 0) say_timings = "## What `zelvan_tts say --timings` adds\n\nsay_timings_bench failed.\n";
    }
    fs::remove_all(work);

    std::ofstream out(output);
    out << "# Benchmark results\n\n"
        << "Written by `make bench` (build/bin/bench_report). Machine: " << machine() << ".\n"
        << "Timings are medians of repeated runs; compare figures within one run only.\n\n"
        << "| figure | value | unit | command | machine |\n|---|---|---|---|---|\n";
    const std::string m = machine();
    for (const Row& r : rows) {
        out << "| " << r.figure << " | " << r.value << " | " << r.unit << " | `" << r.command
            << "` | " << m << " |\n";
    }
    if (!reading_table.empty()) {
        out << "\n## Reading real Russian text\n\n"
            << "Sentences of Debian's fortunes-ru and manpages-ru (`bench/data/ru_reading.tsv`), each\n"
            << "with the reading a Russian reader gives, written by hand. Zelvan: the text after the\n"
            << "written forms and the numbers, equal to that reading once case, ё, stress marks and\n"
            << "punctuation are set aside. espeak-ng: the written sentence and the reading give the\n"
            << "same phonemes, vowel reduction, stress and voicing set aside. Run by `reading_bench`.\n\n"
            << reading_table;
    }
    if (!say_timings.empty()) out << "\n" << say_timings;
    std::cerr << "wrote " << output << "\n";
    return 0;
}
