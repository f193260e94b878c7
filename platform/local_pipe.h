// The local transport between the synthesis server and its clients: a named
// stream endpoint that one server listens on (a named pipe on Windows, an
// abstract Unix socket here). Every wait has a time-out, so that a silent or
// vanished peer never blocks its partner for good.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zelvan_tts {

// One connected stream, server or client side.
class PipeConnection {
public:
    ~PipeConnection();
    PipeConnection(const PipeConnection&) = delete;
    PipeConnection& operator=(const PipeConnection&) = delete;

    // Reads exactly `count` bytes, gathering partial reads, within
    // `timeout_ms` in all. False on time-out, end of stream or error.
    bool read_exact(void* buffer, std::size_t count, int timeout_ms);

    // Writes all `count` bytes within `timeout_ms` in all. A vanished peer
    // makes this fail; it never raises a signal.
    bool write_all(const void* buffer, std::size_t count, int timeout_ms);

    // Copies up to `count` waiting bytes without consuming them and without
    // waiting; returns how many were copied (0 when nothing waits).
    std::size_t peek(void* buffer, std::size_t count);

    // Waits up to `timeout_ms` for data (or the end of the stream) to read.
    bool wait_readable(int timeout_ms);

private:
    friend class PipeListener;
    friend std::unique_ptr<PipeConnection> connect_pipe(const std::string& name);
    friend bool make_connected_pipes(std::unique_ptr<PipeConnection>& first,
                                     std::unique_ptr<PipeConnection>& second);
    explicit PipeConnection(int fd) : fd_(fd) {}
    int fd_;
};

// The server's listening endpoint, alive for the server's life.
class PipeListener {
public:
    // Starts listening on `name` (an object_name). Null when the name is
    // taken or the endpoint cannot be made.
    static std::unique_ptr<PipeListener> listen(const std::string& name);

    ~PipeListener();
    PipeListener(const PipeListener&) = delete;
    PipeListener& operator=(const PipeListener&) = delete;

    // The next client, or null when none came within `timeout_ms`.
    std::unique_ptr<PipeConnection> accept(int timeout_ms);

private:
    explicit PipeListener(int fd) : fd_(fd) {}
    int fd_;
};

// Connects to the server listening on `name`; null when none listens.
std::unique_ptr<PipeConnection> connect_pipe(const std::string& name);

// Two connected, unnamed ends of one stream, as a server and its client see
// it; lets tests and fuzzers drive the serving code without a name. False
// when the system cannot make them.
bool make_connected_pipes(std::unique_ptr<PipeConnection>& first,
                          std::unique_ptr<PipeConnection>& second);

// A machine-wide lock held by name for the life of the holder (a named mutex
// on Windows, a bound abstract socket here).
class InstanceLock {
public:
    // Null when the lock cannot be taken; `held_elsewhere` then tells
    // whether another process holds it (rather than the system refusing).
    static std::unique_ptr<InstanceLock> acquire(const std::string& name, bool& held_elsewhere);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

// Milliseconds of a monotonic clock, wrapping at 32 bits: differences taken
// in unsigned 32-bit arithmetic stay right across the wrap.
std::uint32_t tick_count_ms();

}  // namespace zelvan_tts
