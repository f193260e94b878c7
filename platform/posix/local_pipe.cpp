#include "platform/local_pipe.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace zelvan_tts {

namespace {

using Clock = std::chrono::steady_clock;

// An abstract socket address: a NUL byte, then the name without its leading
// '@', and a length that covers exactly that.
bool make_address(const std::string& name, sockaddr_un& address, socklen_t& length) {
    const std::string bare = (!name.empty() && name[0] == '@') ? name.substr(1) : name;
    if (bare.empty() || bare.size() + 1 > sizeof(address.sun_path)) return false;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, bare.data(), bare.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + bare.size());
    return true;
}

int new_socket() { return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0); }

// Milliseconds left until `deadline`, at least 0.
int remaining_ms(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on fd until the deadline; false on time-out or error.
bool wait_for(int fd, short events, Clock::time_point deadline) {
    while (true) {
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, remaining_ms(deadline));
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) return false;
    }
}

}  // namespace

PipeConnection::~PipeConnection() { close(static_cast<int>(handle_)); }

bool PipeConnection::read_exact(void* buffer, std::size_t count, int timeout_ms) {
    const int fd = static_cast<int>(handle_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (!wait_for(fd, POLLIN, deadline)) return false;
        const ssize_t n = recv(fd, out + done, count - done, MSG_DONTWAIT);
        if (n == 0) return false;  // the peer closed
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool PipeConnection::write_all(const void* buffer, std::size_t count, int timeout_ms) {
    const int fd = static_cast<int>(handle_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (!wait_for(fd, POLLOUT, deadline)) return false;
        const ssize_t n = send(fd, in + done, count - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t PipeConnection::peek(void* buffer, std::size_t count) {
    const ssize_t n = recv(static_cast<int>(handle_), buffer, count, MSG_PEEK | MSG_DONTWAIT);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool PipeConnection::wait_readable(int timeout_ms) {
    return wait_for(static_cast<int>(handle_), POLLIN,
                    Clock::now() + std::chrono::milliseconds(timeout_ms));
}

// One listening socket serves the server's whole life.
struct PipeListener::Endpoint {
    int fd;
};

PipeListener::PipeListener(std::unique_ptr<Endpoint> endpoint) : endpoint_(std::move(endpoint)) {}

std::unique_ptr<PipeListener> PipeListener::listen(const std::string& name, int& error) {
    error = 0;
    sockaddr_un address;
    socklen_t length;
    if (!make_address(name, address, length)) {
        error = EINVAL;
        return nullptr;
    }
    const int fd = new_socket();
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 8) != 0) {
        error = errno;
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<PipeListener>(
        new PipeListener(std::make_unique<Endpoint>(Endpoint{fd})));
}

PipeListener::~PipeListener() { close(endpoint_->fd); }

bool PipeListener::prepare(int& error) {
    error = 0;
    return true;
}

bool PipeListener::prepared() const { return true; }

std::unique_ptr<PipeConnection> PipeListener::accept(int timeout_ms, int& error) {
    error = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (wait_for(endpoint_->fd, POLLIN, deadline)) {
        const int fd = accept4(endpoint_->fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) return std::unique_ptr<PipeConnection>(new PipeConnection(fd));
        // A client that gave up while queued, or a signal: take the next one.
        if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED) continue;
        // Anything else (EMFILE, ENFILE, ENOBUFS, ENOMEM) leaves the client
        // queued and the socket readable, so retrying here would only spin.
        error = errno;
        break;
    }
    return nullptr;
}

std::unique_ptr<PipeConnection> connect_pipe(const std::string& name) {
    sockaddr_un address;
    socklen_t length;
    if (!make_address(name, address, length)) return nullptr;
    const int fd = new_socket();
    if (fd < 0) return nullptr;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<PipeConnection>(new PipeConnection(fd));
}

bool make_connected_pipes(std::unique_ptr<PipeConnection>& first,
                          std::unique_ptr<PipeConnection>& second) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    first.reset(new PipeConnection(fds[0]));
    second.reset(new PipeConnection(fds[1]));
    return true;
}

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::string& name, bool& held_elsewhere) {
    held_elsewhere = false;
    sockaddr_un address;
    socklen_t length;
    if (!make_address(name, address, length)) return nullptr;
    const int fd = new_socket();
    if (fd < 0) return nullptr;
    // Bound, never listening: the name is taken until this process ends.
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        held_elsewhere = errno == EADDRINUSE;
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::~InstanceLock() { close(static_cast<int>(handle_)); }

std::uint32_t tick_count_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

}  // namespace zelvan_tts
