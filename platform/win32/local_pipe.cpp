#include "platform/local_pipe.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace zelvan_tts {

namespace {

constexpr DWORD kPipeBufferSize = 65536;  // each way
// How long a client waits for a server that is busy with another client.
constexpr ULONGLONG kBusyWaitMs = 30000;
// How often a wait for data looks at the pipe; a pipe has no readiness to wait on.
constexpr DWORD kPollStepMs = 5;

HANDLE as_handle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
NativeHandle from_handle(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }

DWORD wait_ms(int timeout_ms) { return timeout_ms > 0 ? static_cast<DWORD>(timeout_ms) : 0; }

// One overlapped ReadFile or WriteFile of exactly `count` bytes, with an event
// of its own. A pipe read ends when the writer's write ends, so a read
// satisfied by a shorter write fails here like any other short transfer.
bool transfer(HANDLE pipe, bool reading, void* buffer, DWORD count, int timeout_ms) {
    OVERLAPPED op{};
    op.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (op.hEvent == nullptr) return false;
    const BOOL started = reading ? ReadFile(pipe, buffer, count, nullptr, &op)
                                 : WriteFile(pipe, buffer, count, nullptr, &op);
    bool ok = started != FALSE;
    DWORD done = 0;
    if (ok) {
        ok = GetOverlappedResult(pipe, &op, &done, FALSE) != FALSE;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(op.hEvent, wait_ms(timeout_ms)) == WAIT_OBJECT_0) {
            ok = GetOverlappedResult(pipe, &op, &done, FALSE) != FALSE;
        } else {
            // The system writes into `op` and the buffer until the operation
            // is over, so wait for the cancellation to land. An operation that
            // finished in the meantime still counts.
            CancelIoEx(pipe, &op);
            ok = GetOverlappedResult(pipe, &op, &done, TRUE) != FALSE;
        }
    }
    CloseHandle(op.hEvent);
    return ok && done == count;
}

// Cancels a pending overlapped operation and waits until the system lets go
// of `op`.
void cancel_and_wait(HANDLE handle, OVERLAPPED& op) {
    CancelIoEx(handle, &op);
    DWORD ignored = 0;
    GetOverlappedResult(handle, &op, &ignored, TRUE);
}

}  // namespace

PipeConnection::~PipeConnection() {
    HANDLE pipe = as_handle(handle_);
    // The server's end is disconnected first, which also ends the client's
    // side at once; a client end is only closed.
    ULONG flags = 0;
    if (GetNamedPipeInfo(pipe, &flags, nullptr, nullptr, nullptr) && (flags & PIPE_SERVER_END)) {
        DisconnectNamedPipe(pipe);
    }
    CloseHandle(pipe);
}

bool PipeConnection::read_exact(void* buffer, std::size_t count, int timeout_ms) {
    if (count == 0) return true;
    if (count > MAXDWORD) return false;
    return transfer(as_handle(handle_), true, buffer, static_cast<DWORD>(count), timeout_ms);
}

bool PipeConnection::write_all(const void* buffer, std::size_t count, int timeout_ms) {
    if (count == 0) return true;
    if (count > MAXDWORD) return false;
    // WriteFile takes a non-const pointer but only reads from it.
    return transfer(as_handle(handle_), false, const_cast<void*>(buffer), static_cast<DWORD>(count),
                    timeout_ms);
}

std::size_t PipeConnection::peek(void* buffer, std::size_t count) {
    DWORD copied = 0;
    const DWORD size = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    if (!PeekNamedPipe(as_handle(handle_), buffer, size, &copied, nullptr, nullptr)) return 0;
    return copied;
}

bool PipeConnection::wait_readable(int timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + wait_ms(timeout_ms);
    while (true) {
        DWORD available = 0;
        // A failing look means the peer has gone: a read will report the end.
        if (!PeekNamedPipe(as_handle(handle_), nullptr, 0, nullptr, &available, nullptr)) {
            return true;
        }
        if (available > 0) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        Sleep(static_cast<DWORD>(deadline - now < kPollStepMs ? deadline - now : kPollStepMs));
    }
}

// The pipe's name and security, and the one instance that waits for the next
// client; a connected instance is handed to its PipeConnection.
struct PipeListener::Endpoint {
    std::wstring name;
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
    bool default_security = false;
    HANDLE instance = INVALID_HANDLE_VALUE;
    OVERLAPPED connect{};  // its event exists while `instance` does
    bool connect_pending = false;
    bool connect_started = false;

    // Closes the instance without serving it.
    void discard() {
        if (instance == INVALID_HANDLE_VALUE) return;
        if (connect_pending) cancel_and_wait(instance, connect);
        DisconnectNamedPipe(instance);
        CloseHandle(instance);
        forget_instance();
    }

    // Closes the connect event and forgets the instance, which is closed or
    // handed on.
    void forget_instance() {
        if (connect.hEvent != nullptr) CloseHandle(connect.hEvent);
        connect = OVERLAPPED{};
        instance = INVALID_HANDLE_VALUE;
        connect_pending = false;
        connect_started = false;
    }
};

PipeListener::PipeListener(std::unique_ptr<Endpoint> endpoint) : endpoint_(std::move(endpoint)) {}

PipeListener::~PipeListener() { endpoint_->discard(); }

std::unique_ptr<PipeListener> PipeListener::listen(const std::string& name, int& error) {
    error = 0;
    auto endpoint = std::make_unique<Endpoint>();
    endpoint->name = widen(name);
    if (endpoint->name.empty()) {
        error = ERROR_INVALID_NAME;
        return nullptr;
    }
    // A present but null access list: every local user may connect. Should
    // the descriptor not take it, the pipe gets the default security instead.
    endpoint->default_security =
        !InitializeSecurityDescriptor(&endpoint->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&endpoint->descriptor, TRUE, nullptr, FALSE);
    endpoint->attributes.nLength = sizeof endpoint->attributes;
    endpoint->attributes.lpSecurityDescriptor = &endpoint->descriptor;
    endpoint->attributes.bInheritHandle = FALSE;
    return std::unique_ptr<PipeListener>(new PipeListener(std::move(endpoint)));
}

bool PipeListener::prepare(int& error) {
    error = 0;
    Endpoint& e = *endpoint_;
    if (e.instance != INVALID_HANDLE_VALUE) return true;
    // Byte stream, blocking mode, as many instances as the system allows;
    // the server keeps one at a time.
    HANDLE instance = CreateNamedPipeW(e.name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, 0,
                                       PIPE_UNLIMITED_INSTANCES, kPipeBufferSize, kPipeBufferSize,
                                       0, e.default_security ? nullptr : &e.attributes);
    if (instance == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        error = static_cast<int>(GetLastError());
        CloseHandle(instance);
        return false;
    }
    e.instance = instance;
    e.connect = OVERLAPPED{};
    e.connect.hEvent = event;
    return true;
}

bool PipeListener::prepared() const { return endpoint_->instance != INVALID_HANDLE_VALUE; }

std::unique_ptr<PipeConnection> PipeListener::accept(int timeout_ms, int& error) {
    error = 0;
    Endpoint& e = *endpoint_;
    if (e.instance == INVALID_HANDLE_VALUE) return nullptr;
    bool connected = false;
    if (!e.connect_started) {
        e.connect_started = true;
        if (ConnectNamedPipe(e.instance, &e.connect)) {
            connected = true;
        } else {
            const DWORD error_code = GetLastError();
            if (error_code == ERROR_PIPE_CONNECTED) {
                connected = true;  // the client came between creation and connect
            } else if (error_code == ERROR_IO_PENDING) {
                e.connect_pending = true;
            } else {
                error = static_cast<int>(error_code);
                e.discard();
                return nullptr;
            }
        }
    }
    if (!connected) {
        const DWORD waited = WaitForSingleObject(e.connect.hEvent, wait_ms(timeout_ms));
        if (waited == WAIT_TIMEOUT) return nullptr;
        DWORD ignored = 0;
        if (waited != WAIT_OBJECT_0 ||
            !GetOverlappedResult(e.instance, &e.connect, &ignored, FALSE)) {
            error = static_cast<int>(GetLastError());
            e.discard();
            return nullptr;
        }
        e.connect_pending = false;
    }
    const HANDLE instance = e.instance;
    e.forget_instance();
    return std::unique_ptr<PipeConnection>(new PipeConnection(from_handle(instance)));
}

std::unique_ptr<PipeConnection> connect_pipe(const std::string& name) {
    const std::wstring wide = widen(name);
    if (wide.empty()) return nullptr;
    const ULONGLONG deadline = GetTickCount64() + kBusyWaitMs;
    bool server_seen = false;
    while (true) {
        HANDLE pipe = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            return std::unique_ptr<PipeConnection>(new PipeConnection(from_handle(pipe)));
        }
        const DWORD error = GetLastError();
        // Busy: the one instance serves another client. Once a server has
        // been seen, a moment without any instance is the server making the
        // next one.
        if (error == ERROR_PIPE_BUSY) {
            server_seen = true;
        } else if (!(server_seen && error == ERROR_FILE_NOT_FOUND)) {
            return nullptr;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return nullptr;
        const DWORD left = static_cast<DWORD>(deadline - now);
        if (error == ERROR_PIPE_BUSY) {
            // Another client may take the freed instance first: try again.
            WaitNamedPipeW(wide.c_str(), left < 1000 ? left : 1000);
        } else {
            Sleep(left < kPollStepMs ? left : kPollStepMs);
        }
    }
}

bool make_connected_pipes(std::unique_ptr<PipeConnection>& first,
                          std::unique_ptr<PipeConnection>& second) {
    // A pipe of one instance under a name nobody else uses.
    static std::atomic<unsigned> counter{0};
    const std::wstring name = L"\\\\.\\pipe\\ZelvanTTSPair." +
                              std::to_wstring(GetCurrentProcessId()) + L"." +
                              std::to_wstring(counter++);
    HANDLE server = CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBufferSize, kPipeBufferSize, 0, nullptr);
    if (server == INVALID_HANDLE_VALUE) return false;
    OVERLAPPED op{};
    op.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (op.hEvent == nullptr) {
        CloseHandle(server);
        return false;
    }
    bool pending = false;
    bool ok = ConnectNamedPipe(server, &op) != FALSE;
    if (!ok) {
        const DWORD error = GetLastError();
        pending = error == ERROR_IO_PENDING;
        ok = pending || error == ERROR_PIPE_CONNECTED;
    }
    HANDLE client = INVALID_HANDLE_VALUE;
    if (ok) {
        client = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
        ok = client != INVALID_HANDLE_VALUE;
    }
    if (pending) {
        DWORD ignored = 0;
        if (ok) {
            ok = GetOverlappedResult(server, &op, &ignored, TRUE) != FALSE;
        } else {
            cancel_and_wait(server, op);
        }
    }
    CloseHandle(op.hEvent);
    if (!ok) {
        if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
        CloseHandle(server);
        return false;
    }
    first.reset(new PipeConnection(from_handle(server)));
    second.reset(new PipeConnection(from_handle(client)));
    return true;
}

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::string& name, bool& held_elsewhere) {
    held_elsewhere = false;
    // Owned from creation. When the name exists already, another holder has
    // it; a mutex of another user that this one may not open counts as well.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, widen(name).c_str());
    if (mutex == nullptr) {
        held_elsewhere = GetLastError() == ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        held_elsewhere = true;
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(from_handle(mutex)));
}

InstanceLock::~InstanceLock() {
    ReleaseMutex(as_handle(handle_));
    CloseHandle(as_handle(handle_));
}

std::uint32_t tick_count_ms() { return GetTickCount(); }

}  // namespace zelvan_tts
