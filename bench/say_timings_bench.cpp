// say_timings_bench [BIN]
// What `zelvan_tts say --timings` adds beyond the server: the whole process
// against the server's own synthesis of the same text over the pipe, and
// the process's peak memory, with the words labelled by the server (word
// spans) and, as before word spans, by the client itself. The second is
// played by a relay that stands for a server of before word spans: it
// passes every message on and clears the flags of each Synthesize, which
// such a server never reads. Both ways go through the relay, so that its
// hop costs the same on either side. BIN (default: this program's folder)
// holds zelvan_tts and zelvan_tts_server; the server speaks with the demo
// models beside it. Prints a Markdown section.
#include "bench/traced_run.h"
#include "platform/local_pipe.h"
#include "platform/object_names.h"
#include "protocol/protocol.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Passes the messages of each client on to the server at `server_pipe`,
// one exchange at a time, until `stop`. With `clear_flags`, a Synthesize
// reaches the server as a client of before word spans sends it.
void relay(PipeListener& listener, const std::string& server_pipe,
           const std::atomic<bool>& clear_flags, const std::atomic<bool>& stop) {
    while (!stop) {
        int error = 0;
        auto client = listener.accept(100, error);
        if (!client) continue;
        auto server = connect_pipe(server_pipe);
        MessageHeader header{};
        std::vector<std::uint8_t> payload;
        while (server && read_message(*client, header, payload)) {
            const auto type = static_cast<MessageType>(header.type);
            if (type == MessageType::Synthesize && clear_flags && payload.size() >= 24)
                std::fill(payload.begin() + 20, payload.begin() + 24, 0);
            if (!send_message(*server, type, payload.data(), payload.size())) break;
            if (type != MessageType::Synthesize) continue;
            while (read_message(*server, header, payload)) {
                const auto reply = static_cast<MessageType>(header.type);
                send_message(*client, reply, payload.data(), payload.size());
                if (reply == MessageType::SynthesisDone || reply == MessageType::Error) break;
            }
        }
    }
}

// Milliseconds from a Synthesize of `text` to its SynthesisDone; -1 on failure.
double synthesis_ms(const std::string& server_pipe, const std::string& text,
                    std::uint32_t flags = 0) {
    auto pipe = connect_pipe(server_pipe);
    if (!pipe) return -1;
    ReqSynth request;
    request.speaker_id = 20;
    request.flags = flags;
    const auto payload = encode_req_synth(request, text);
    const auto start = Clock::now();
    if (!send_message(*pipe, MessageType::Synthesize, payload.data(), payload.size())) return -1;
    MessageHeader header{};
    std::vector<std::uint8_t> reply;
    while (read_message(*pipe, header, reply)) {
        if (header.type == static_cast<std::uint32_t>(MessageType::SynthesisDone))
            return ms_since(start);
        if (header.type == static_cast<std::uint32_t>(MessageType::Error)) break;
    }
    return -1;
}

// Runs `args` to its end: milliseconds, or -1 when it failed; the peak in
// MiB goes to `peak`, its processor time in milliseconds to `cpu`.
double run(std::vector<std::string> args, double& peak, double& cpu) {
    const TracedRun r = traced_run(std::move(args));
    peak = r.peak_mib;
    cpu = r.cpu_ms;
    return r.ok ? r.ms : -1;
}

std::string russian_text(std::size_t bytes) {
    const std::string sentence =
        "Старинный замок на холме стоит уже 250 лет, и 3 его башни видны за 12 км. ";
    std::string text;
    while (text.size() < bytes) text += sentence;
    return text;
}

}  // namespace
}  // namespace zelvan_tts

int main(int argc, char** argv) {
    using namespace zelvan_tts;
    const fs::path bin = argc > 1 ? fs::path(argv[1]) : fs::canonical("/proc/self/exe").parent_path();
    const fs::path work = fs::temp_directory_path() / ("zelvan_say_timings_" + std::to_string(getpid()));
    fs::create_directories(work / "config");
    // The demo models beside the programs, the default settings.
    unsetenv("ZELVAN_TTS_MODEL_PATH");
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    const std::string tag = "say_timings." + std::to_string(getpid());
    setenv("ZELVAN_TTS_NAMESPACE", (tag + ".server").c_str(), 1);
    const std::string server_pipe = object_name(NamedObject::Pipe);
    std::string server = (bin / "zelvan_tts_server").string();
    char* server_argv[] = {server.data(), nullptr};
    pid_t server_pid = 0;
    if (posix_spawn(&server_pid, server.c_str(), nullptr, nullptr, server_argv, environ) != 0)
        return 1;
    bool ready = false;
    for (int i = 0; i < 6000 && !ready; ++i) {
        ready = connect_pipe(server_pipe) != nullptr;
        if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The clients reach the relay.
    setenv("ZELVAN_TTS_NAMESPACE", (tag + ".relay").c_str(), 1);
    int error = 0;
    auto listener = PipeListener::listen(object_name(NamedObject::Pipe), error);
    if (!ready || !listener || !listener->prepare(error)) {
        kill(server_pid, SIGKILL);
        return 1;
    }
    std::atomic<bool> clear_flags{false};
    std::atomic<bool> stop{false};
    std::thread relaying([&] { relay(*listener, server_pipe, clear_flags, stop); });

    const std::string say = (bin / "zelvan_tts").string();
    const std::string wav = (work / "x.wav").string(), json = (work / "x.json").string();
    std::cout << "## What `zelvan_tts say --timings` adds beyond the server\n\n"
              << "The whole `say` process against the server's own synthesis of the same text\n"
              << "over the pipe (medians of 7 runs, each beside a synthesis of its own), and its\n"
              << "peak resident memory. Server: the demo voice, stages as the settings default.\n"
              << "Before word spans, `say --timings` labelled the words itself: the text steps\n"
              << "again, the user's dictionary read afresh. Run by `say_timings_bench`.\n\n"
              << "`say`'s own processor time is the steadier figure: the wall time beyond the\n"
              << "server is a difference of two runs of the server and carries its spread.\n"
              << "Last column: the server's synthesis when it is asked for word spans, against\n"
              << "the same synthesis without them.\n\n"
              << "| text | `say` | labels from | processor time of `say` | wall time beyond the server | peak memory | server with spans / without |\n"
              << "|---|---|---|---|---|---|---|\n";
    bool failed = false;
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"one sentence", russian_text(1)},
                                     {"4 KB Russian", russian_text(4000)}}) {
        synthesis_ms(server_pipe, text);  // the first synthesis loads the stage models
        const struct {
            const char* args;
            const char* labels;
            bool old_server;
        } modes[] = {{"-o x.wav", "(no timings)", false},
                     {"-o x.wav --timings x.json", "the server (word spans)", false},
                     {"-o x.wav --timings x.json", "the client (before word spans)", true}};
        for (const auto& m : modes) {
            clear_flags = m.old_server;
            std::vector<std::string> args{say, "say", "-o", wav};
            if (std::string(m.args).find("--timings") != std::string::npos) {
                args.push_back("--timings");
                args.push_back(json);
            }
            args.push_back(text);
            std::vector<double> beyond, peaks, cpus, with_spans, without;
            for (int r = 0; r < 7; ++r) {
                const double synthesis = synthesis_ms(server_pipe, text);
                double peak = -1, cpu = -1;
                const double whole = run(args, peak, cpu);
                if (synthesis < 0 || whole < 0 || peak < 0) failed = true;
                beyond.push_back(whole - synthesis);
                peaks.push_back(peak);
                cpus.push_back(cpu);
                without.push_back(synthesis);
                with_spans.push_back(synthesis_ms(server_pipe, text, kWantWordSpans));
            }
            char line[512];
            std::snprintf(line, sizeof line,
                          "| %s | `say %s` | %s | %.1f ms | %.1f ms | %.1f MiB | %.2f |\n",
                          name.c_str(), m.args, m.labels, median(cpus), median(beyond),
                          median(peaks), median(with_spans) / median(without));
            std::cout << line;
        }
    }
    stop = true;
    relaying.join();
    if (auto pipe = connect_pipe(server_pipe)) send_message(*pipe, MessageType::Shutdown, nullptr, 0);
    waitpid(server_pid, nullptr, 0);
    fs::remove_all(work);
    return failed ? 1 : 0;
}
