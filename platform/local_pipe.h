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

// The system's handle of an open object: a file descriptor here, a HANDLE on
// Windows. Wide enough for either.
using NativeHandle = std::intptr_t;

// One connected stream, server or client side.
class PipeConnection {
public:
    ~PipeConnection();
    PipeConnection(const PipeConnection&) = delete;
    PipeConnection& operator=(const PipeConnection&) = delete;

    // Reads exactly `count` bytes within `timeout_ms`. False on time-out, end
    // of stream or error. A socket may hand over part of what the peer wrote,
    // so here partial reads are gathered until the count arrives; a Windows
    // pipe read is one operation that must bring the whole count, so a peer
    // whose write held fewer bytes fails it. Protocol clients therefore write
    // a header, and a payload, each in one write.
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
    explicit PipeConnection(NativeHandle handle) : handle_(handle) {}
    NativeHandle handle_;
};

// The server's endpoint, alive for the server's life. A listening socket
// takes any number of clients one after another; a Windows pipe instance
// serves one client, so a fresh instance is made for each (prepare).
class PipeListener {
public:
    // Opens the endpoint on `name` (an object_name). Null when the name is
    // taken or the endpoint cannot be made; `error` then holds the system's
    // error number.
    static std::unique_ptr<PipeListener> listen(const std::string& name, int& error);

    ~PipeListener();
    PipeListener(const PipeListener&) = delete;
    PipeListener& operator=(const PipeListener&) = delete;

    // Makes the endpoint ready to take the next client, if it is not: nothing
    // to do for a socket, a new pipe instance on Windows. False when that
    // fails; `error` then holds the system's error number.
    bool prepare(int& error);

    // Whether the endpoint is ready to take a client (see prepare).
    bool prepared() const;

    // The next client, or null when none came within `timeout_ms` (`error`
    // 0) or taking one failed (`error` the system's error number). Waiting
    // goes on where the last call left off. A failure may last (no file
    // descriptors left here) and then comes back at once on every call, so
    // the caller pauses before trying again. On Windows a failure (a client
    // that came and went before it was taken) also makes prepared() false.
    std::unique_ptr<PipeConnection> accept(int timeout_ms, int& error);

private:
    struct Endpoint;
    explicit PipeListener(std::unique_ptr<Endpoint> endpoint);
    std::unique_ptr<Endpoint> endpoint_;
};

// Connects to the server listening on `name`; null when none listens. A
// server that is busy with another client is waited for, up to 30 s, where
// the system makes a client wait (Windows); a socket queues the client.
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
    // whether another holder has it (rather than the system refusing).
    static std::unique_ptr<InstanceLock> acquire(const std::string& name, bool& held_elsewhere);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    explicit InstanceLock(NativeHandle handle) : handle_(handle) {}
    NativeHandle handle_;
};

// Milliseconds of a monotonic clock, wrapping at 32 bits: differences taken
// in unsigned 32-bit arithmetic stay right across the wrap.
std::uint32_t tick_count_ms();

}  // namespace zelvan_tts
