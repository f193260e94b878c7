// Measures output modules as speech-dispatcher drives them: from the end of
// a SPEAK request to the first AUDIO block, for a one-sentence text; from
// STOP to the STOP event in the middle of a long text; and from the SPEAK
// that follows to its first AUDIO block. Each module is started
// as the server starts it and gets the requests the server sends.
//
//   sd_zelvan_bench RUNS MODULE CONFIG [MODULE CONFIG ...]
#include "speechd/module_protocol.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace zelvan_tts::speechd;
using Clock = std::chrono::steady_clock;

namespace {

struct Module {
    pid_t pid = 0;
    int in = -1;   // the module's standard input
    int out = -1;  // the module's standard output
};

Module start(const char* program, const char* config) {
    int to[2], from[2];
    if (pipe(to) != 0 || pipe(from) != 0) std::exit(1);
    Module m;
    m.pid = fork();
    if (m.pid == 0) {
        dup2(to[0], STDIN_FILENO);
        dup2(from[1], STDOUT_FILENO);
        close(to[1]);
        close(from[0]);
        execl(program, program, config, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(to[0]);
    close(from[1]);
    m.in = to[1];
    m.out = from[0];
    return m;
}

void send(const Module& m, const std::string& text) {
    if (write(m.in, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::exit(1);
}

// Reads lines until one starts with `prefix`; false when the module ends.
bool until(LineReader& r, const std::string& prefix) {
    std::string line;
    while (r.read_line(line))
        if (line.rfind(prefix, 0) == 0) return true;
    return false;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void report(const char* what, const char* program, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return;
    std::printf("%-28s %-45s median %7.2f ms  p90 %7.2f ms  max %7.2f ms  (%zu runs)\n", what,
                program, v[v.size() / 2], v[v.size() * 9 / 10], v.back(), v.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: %s RUNS MODULE CONFIG [MODULE CONFIG ...]\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const int runs = std::max(1, std::atoi(argv[1]));
    const std::string settings =
        "SET\npitch=0\npitch_range=0\nrate=0\nvolume=0\npunctuation_mode=none\n"
        "spelling_mode=off\ncap_let_recogn=none\nvoice=male1\nlanguage=ru\n"
        "synthesis_voice=NULL\n.\n";
    std::string long_text = "SPEAK\n<speak>";
    for (int i = 0; i < 200; ++i)
        long_text += "Это предложение номер " + std::to_string(i) + ".<mark name=\"__spd_" +
                     std::to_string(i) + "\"/> ";
    long_text += "</speak>\n.\n";

    for (int a = 2; a < argc; a += 2) {
        const char* program = argv[a];
        Module m = start(program, argv[a + 1]);
        LineReader r(m.out);
        const auto init_start = Clock::now();
        send(m, "INIT\n");
        if (!until(r, "299 ")) {
            std::fprintf(stderr, "%s: INIT failed\n", program);
            return 1;
        }
        const double init_ms = ms(Clock::now() - init_start);
        send(m, "AUDIO\naudio_output_method=server\n.\n");
        until(r, "203 ");
        std::vector<double> first_audio, stop, after_stop;
        for (int i = 0; i <= runs; ++i) {
            send(m, settings);
            until(r, "203 OK SETTINGS");
            send(m, "SPEAK\n");
            until(r, "202 ");
            const auto t0 = Clock::now();
            send(m, "<speak>Привет, как у тебя дела сегодня?</speak>\n.\n");
            until(r, "705-AUDIO");
            const double t = ms(Clock::now() - t0);
            until(r, "702 ");
            if (i > 0) first_audio.push_back(t);  // the first run warms up
        }
        for (int i = 0; i < std::max(3, runs / 4); ++i) {
            send(m, settings);
            until(r, "203 OK SETTINGS");
            send(m, long_text);
            until(r, "705-AUDIO");
            const auto t0 = Clock::now();
            send(m, "STOP\n");
            std::string line;
            while (r.read_line(line) && line != "703 STOP" && line != "702 END") {
            }
            stop.push_back(ms(Clock::now() - t0));
            // The next message, while the engine may still finish the
            // sentence it was making for the stopped one.
            send(m, "SPEAK\n");
            until(r, "202 ");
            const auto t1 = Clock::now();
            send(m, "<speak>Привет, как у тебя дела сегодня?</speak>\n.\n");
            until(r, "705-AUDIO");
            after_stop.push_back(ms(Clock::now() - t1));
            until(r, "702 ");
        }
        send(m, "QUIT\n");
        until(r, "210 ");
        close(m.in);
        waitpid(m.pid, nullptr, 0);
        close(m.out);
        std::printf("%-28s %-45s %7.1f ms\n", "INIT (engine load)", program, init_ms);
        report("SPEAK to first AUDIO block", program, first_audio);
        report("STOP to STOP event", program, stop);
        report("SPEAK after STOP to AUDIO", program, after_stop);
    }
    return 0;
}
