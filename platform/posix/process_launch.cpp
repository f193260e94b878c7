#include "platform/process_launch.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zelvan_tts {

namespace {

// posix_spawn's argument vector over `owned`, which must outlive it.
std::vector<char*> argument_vector(std::vector<std::string>& owned) {
    std::vector<char*> argv;
    for (std::string& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

bool launch_detached(const std::filesystem::path& program, const std::vector<std::string>& args) {
    std::vector<std::string> owned{program.string()};
    owned.insert(owned.end(), args.begin(), args.end());
    const std::vector<char*> argv = argument_vector(owned);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (int fd = 0; fd <= 2; ++fd) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
    // A session of its own: the caller's Ctrl-C or hang-up does not reach it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int status =
        posix_spawn(&pid, owned[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return status == 0;
}

std::optional<std::filesystem::path> find_program(const std::string& name) {
    const char* variable = std::getenv("PATH");
    const std::string folders = variable != nullptr ? variable : "/usr/bin:/bin";
    for (std::size_t begin = 0; begin <= folders.size();) {
        std::size_t end = folders.find(':', begin);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(begin, end - begin);
        const std::filesystem::path candidate =
            std::filesystem::path(folder.empty() ? "." : folder) / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        begin = end + 1;
    }
    return std::nullopt;
}

std::optional<PipedProcess> launch_with_input(const std::vector<std::string>& command) {
    if (command.empty()) return std::nullopt;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    // A process that quits early must not kill the caller with SIGPIPE; the
    // write fails instead.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> owned = command;
    const std::vector<char*> argv = argument_vector(owned);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawnattr_init(&attributes);
    // The child starts with no signal blocked and SIGPIPE at its default.
    sigset_t none, pipe_signal;
    sigemptyset(&none);
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipe_signal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int status =
        posix_spawn(&pid, owned[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[0]);
    if (status != 0) {
        close(fds[1]);
        return std::nullopt;
    }
    return PipedProcess{pid, fds[1]};
}

bool write_input(const PipedProcess& process, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(process.input, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

void close_input(PipedProcess& process) {
    if (process.input < 0) return;
    close(process.input);
    process.input = -1;
}

void terminate_process(const PipedProcess& process) {
    if (process.id > 0) kill(static_cast<pid_t>(process.id), SIGTERM);
}

bool wait_process(PipedProcess& process) {
    if (process.id <= 0) return false;
    int status = 0;
    while (waitpid(static_cast<pid_t>(process.id), &status, 0) < 0 && errno == EINTR) {
    }
    process.id = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace zelvan_tts
