#include "platform/named_signal.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

namespace zelvan_tts {

// An auto-reset event: the first successful wait on it clears it.
struct NamedSignal::Handle {
    HANDLE event;
};

std::unique_ptr<NamedSignal> NamedSignal::create_or_open(const std::string& name) {
    // Whoever comes first creates it (clear); the others open that object.
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, widen(name).c_str());
    if (event == nullptr) return nullptr;
    return std::unique_ptr<NamedSignal>(new NamedSignal(std::make_unique<Handle>(Handle{event})));
}

void NamedSignal::remove(const std::string&) {}

NamedSignal::NamedSignal(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

NamedSignal::~NamedSignal() { CloseHandle(handle_->event); }

bool NamedSignal::test_and_consume() {
    return WaitForSingleObject(handle_->event, 0) == WAIT_OBJECT_0;
}

void NamedSignal::set() { SetEvent(handle_->event); }

}  // namespace zelvan_tts
