#include "client/audio_player.h"

#include <filesystem>
#include <stdexcept>

#if !defined(_WIN32)
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;
#endif

namespace zelvan_tts {

#if defined(_WIN32)

// Neither player exists on Windows.
std::optional<std::vector<std::string>> find_player(int) { return std::nullopt; }

AudioPlayer::AudioPlayer(const std::vector<std::string>&) {
    throw std::runtime_error("Cannot start the audio player");
}
AudioPlayer::~AudioPlayer() = default;
bool AudioPlayer::play(const std::uint8_t*, std::size_t) { return false; }
void AudioPlayer::finish() {}
void AudioPlayer::feed() {}

#else

namespace {

// The file `name` in the first folder of PATH that holds it as a program.
std::optional<std::filesystem::path> on_search_path(const std::string& name) {
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

bool write_all(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::string>> find_player(int sample_rate) {
    const std::string rate = std::to_string(sample_rate);
    if (const auto aplay = on_search_path("aplay")) {
        return std::vector<std::string>{aplay->string(), "-q", "-t", "raw", "-f", "S16_LE",
                                        "-c", "1", "-r", rate};
    }
    if (const auto paplay = on_search_path("paplay")) {
        return std::vector<std::string>{paplay->string(), "--raw", "--format=s16le",
                                        "--channels=1", "--rate=" + rate};
    }
    return std::nullopt;
}

AudioPlayer::AudioPlayer(const std::vector<std::string>& command) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("Cannot start the audio player");
    // A player that quits early must not kill this program with SIGPIPE;
    // the write fails instead.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> owned = command;
    std::vector<char*> argv;
    for (std::string& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawnattr_init(&attributes);
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
        throw std::runtime_error("Cannot start the audio player " + command[0]);
    }
    pid_ = pid;
    input_ = fds[1];
    feeder_ = std::thread([this] { feed(); });
}

AudioPlayer::~AudioPlayer() {
    if (pid_ < 0) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
        queue_.clear();
    }
    ready_.notify_one();
    // A feeder blocked on a full pipe gets its write failed.
    kill(pid_, SIGTERM);
    feeder_.join();
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

bool AudioPlayer::play(const std::uint8_t* bytes, std::size_t count) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (broken_) return false;
        queue_.emplace_back(bytes, bytes + count);
    }
    ready_.notify_one();
    return true;
}

void AudioPlayer::feed() {
    std::unique_lock<std::mutex> hold(lock_);
    while (true) {
        ready_.wait(hold, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) break;  // closing, and everything is written
        std::vector<std::uint8_t> block = std::move(queue_.front());
        queue_.pop_front();
        if (broken_) continue;
        hold.unlock();
        const bool written = write_all(input_, block.data(), block.size());
        hold.lock();
        if (!written) broken_ = true;
    }
    // The end of its input tells the player to play what it holds and exit.
    close(input_);
    input_ = -1;
}

void AudioPlayer::finish() {
    if (pid_ < 0) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
    }
    ready_.notify_one();
    feeder_.join();
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (broken_ || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("The audio player failed");
}

#endif

}  // namespace zelvan_tts
