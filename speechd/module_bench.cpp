// Measures output modules as speech-dispatcher drives them: from the end of
// a SPEAK request to the first AUDIO block, for a one-sentence text; from
// STOP to the STOP event in the middle of a long text; and from the SPEAK
// that follows to its first AUDIO block. Each module is started
// as the server starts it and gets the requests the server sends.
//
//   sd_zelvan_bench RUNS MODULE CONFIG [MODULE CONFIG ...]
//
// With --daemon, the modules run under one speech-dispatcher (a private
// configuration, ALSA's null device) and a client speaks RUNS messages
// through each; the time from the end of each SPEAK the server sends to the
// first AUDIO block it has received is read from the server's own log; so
// is, after a STOP in the middle of a 300-word sentence without punctuation,
// the time from the client's STOP to the first AUDIO block of the next line.
//
//   sd_zelvan_bench --daemon RUNS MODULE CONFIG [MODULE CONFIG ...]
#include "speechd/module_protocol.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <csignal>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
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

// Seconds of the day of a server log line "[Thu Dec 10 01:13:44 2026 : 391197] ...".
bool log_time(const std::string& line, double& seconds) {
    int h = 0, m = 0, sec = 0, year = 0;
    long us = 0;
    char day[8], month[8];
    if (std::sscanf(line.c_str(), "[%7s %7s %*d %d:%d:%d %d : %ld]", day, month, &h, &m, &sec,
                    &year, &us) != 7)
        return false;
    seconds = h * 3600.0 + m * 60.0 + sec + us / 1e6;
    return true;
}

// Seconds of the day now, as the server's log writes them.
double now_of_day() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        now.time_since_epoch()).count() % 1000000;
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + us / 1e6;
}

int daemon_mode(int runs, int count, char** modules) {
    char dir_template[] = "/tmp/sd_zelvan_bench.XXXXXX";
    const std::string dir = mkdtemp(dir_template);
    for (const char* sub : {"/conf", "/home", "/run", "/log"}) mkdir((dir + sub).c_str(), 0700);
    {
        std::ofstream conf(dir + "/conf/speechd.conf");
        conf << "LogLevel 5\nLogDir \"" << dir << "/log\"\nAudioOutputMethod \"alsa\"\n";
        for (int i = 0; i < count; ++i)
            conf << "AddModule \"m" << i << "\" \"" << modules[2 * i] << "\" \""
                 << modules[2 * i + 1] << "\"\n";
        std::ofstream(dir + "/home/.asoundrc") << "pcm.!default { type null }\n";
    }
    const std::string socket_path = dir + "/speechd.sock";
    setenv("HOME", (dir + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    const pid_t daemon = fork();
    if (daemon == 0) {
        execlp("speech-dispatcher", "speech-dispatcher", "-s", "-t", "0", "-c", "unix_socket",
               "-S", socket_path.c_str(), "-C", (dir + "/conf").c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket_path.copy(address.sun_path, sizeof address.sun_path - 1);
    bool connected = false;
    for (int i = 0; i < 3000 && !connected; ++i) {
        connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!connected) {
        std::fprintf(stderr, "speech-dispatcher did not start\n");
        return 1;
    }
    const Module client{0, fd, fd};
    LineReader r(fd);
    const auto ssip = [&](const std::string& command) {
        send(client, command + "\r\n");
        std::string line;
        while (r.read_line(line) && !(line.size() > 3 && line[3] == ' ')) {
        }
    };
    ssip("SET SELF CLIENT_NAME bench:bench:main");
    ssip("SET SELF NOTIFICATION END on");
    std::string long_line;  // 300 words, no mark
    const char* words[] = {"слово", "мимо", "дома", "летит", "быстро", "тихий", "вечер",
                           "река", "поле", "ветер"};
    for (int w = 0; w < 300; ++w) long_line += std::string(w ? " " : "") + words[w % 10];
    // Per module: when each STOP was sent, in seconds of the day.
    std::vector<std::vector<double>> stops(count);
    const int stop_runs = std::max(3, runs / 2);
    for (int i = 0; i < count; ++i) {
        ssip("SET SELF OUTPUT_MODULE m" + std::to_string(i));
        ssip("SET SELF LANGUAGE ru");
        for (int run = 0; run <= runs; ++run) {
            ssip("SPEAK");
            ssip("Привет, как у тебя дела сегодня?\r\n.");
            until(r, "702 END");
        }
        for (int run = 0; run < stop_runs; ++run) {
            ssip("SPEAK");
            ssip(long_line + "\r\n.");
            // Well into its audio (events may come between replies, so
            // none is waited for here).
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            stops[i].push_back(now_of_day());
            ssip("STOP self");
            ssip("SPEAK");
            ssip("Привет, как у тебя дела сегодня?\r\n.");
            until(r, "702 END");
        }
    }
    ssip("QUIT");
    close(fd);
    kill(daemon, SIGTERM);
    waitpid(daemon, nullptr, 0);

    // SPEAK's closing dot, then the first audio block the server took in.
    std::ifstream log(dir + "/log/speech-dispatcher.log");
    std::vector<double> times;
    std::vector<double> audio_after_speak;  // the first AUDIO of each message, in log seconds
    std::string line, previous;
    double sent = -1.0, now = 0.0;
    bool in_speak = false;
    while (std::getline(log, line)) {
        if (line.find("output module: |SPEAK") != std::string::npos) in_speak = true;
        if (line == "." && in_speak && previous.size() > 0 &&
            previous.compare(previous.size() - std::min<std::size_t>(previous.size(), 16),
                             std::string::npos, "output module: |") == 0 &&
            log_time(previous, now)) {
            sent = now;
            in_speak = false;
        }
        if (sent >= 0 && line.find("while speaking: |705-bits") != std::string::npos &&
            log_time(line, now)) {
            times.push_back((now - sent) * 1000.0);
            audio_after_speak.push_back(now);
            sent = -1.0;
        }
        previous = line;
    }
    // Messages per module: runs + 1 short ones, then a long and a short one
    // per STOP.
    const std::size_t per_module = static_cast<std::size_t>(runs + 1 + 2 * stop_runs);
    for (int i = 0; i < count; ++i) {
        const std::size_t first = i * per_module;
        std::vector<double> speak, after_stop, long_first;
        for (std::size_t k = first + 1; k < first + runs + 1 && k < times.size(); ++k)
            speak.push_back(times[k]);
        for (int run = 0; run < stop_runs; ++run) {
            const std::size_t long_one = first + runs + 1 + 2 * run;
            if (long_one + 1 >= audio_after_speak.size()) break;
            long_first.push_back(times[long_one]);
            after_stop.push_back((audio_after_speak[long_one + 1] - stops[i][run]) * 1000.0);
        }
        report("daemon: SPEAK to AUDIO", modules[2 * i], speak);
        report("daemon: 300 words to AUDIO", modules[2 * i], long_first);
        report("daemon: STOP, next to AUDIO", modules[2 * i], after_stop);
    }
    if (std::getenv("SD_ZELVAN_BENCH_KEEP") != nullptr) {
        std::fprintf(stderr, "kept %s\n", dir.c_str());
        return 0;
    }
    std::string remove = "rm -rf '" + dir + "'";
    return std::system(remove.c_str()) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    if (argc >= 5 && argc % 2 == 1 && std::string(argv[1]) == "--daemon")
        return daemon_mode(std::max(1, std::atoi(argv[2])), (argc - 3) / 2, argv + 3);
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr,
                     "usage: %s [--daemon] RUNS MODULE CONFIG [MODULE CONFIG ...]\n", argv[0]);
        return 2;
    }
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
