#include "platform/server_ready.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

namespace zelvan_tts {

// A manual-reset event: it stays set for every client that waits on it, and
// vanishes with the server's handle at exit.
struct ServerReadySignal::Handle {
    HANDLE event;
};

ServerReadySignal::ServerReadySignal(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

ServerReadySignal::~ServerReadySignal() { CloseHandle(handle_->event); }

std::unique_ptr<ServerReadySignal> ServerReadySignal::announce(const std::string& name) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, widen(name).c_str());
    if (event == nullptr) return nullptr;
    SetEvent(event);
    return std::unique_ptr<ServerReadySignal>(
        new ServerReadySignal(std::make_unique<Handle>(Handle{event})));
}

}  // namespace zelvan_tts
