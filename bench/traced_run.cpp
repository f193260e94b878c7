#include "bench/traced_run.h"

#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>

namespace zelvan_tts {

TracedRun traced_run(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    TracedRun result;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return result;
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACEEXIT));
    ptrace(PTRACE_CONT, pid, nullptr, nullptr);
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) == pid && WIFSTOPPED(status)) {
        if (status >> 8 == (SIGTRAP | PTRACE_EVENT_EXIT << 8)) {
            std::ifstream in("/proc/" + std::to_string(pid) + "/status");
            for (std::string line; std::getline(in, line);) {
                if (line.rfind("VmHWM:", 0) == 0)
                    result.peak_mib = std::atol(line.c_str() + 6) / 1024.0;
            }
        }
        const int signal = WSTOPSIG(status) == SIGTRAP ? 0 : WSTOPSIG(status);
        ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
    }
    result.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
    const auto to_ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    result.cpu_ms = to_ms(usage.ru_utime) + to_ms(usage.ru_stime);
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

}  // namespace zelvan_tts
