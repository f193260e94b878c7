#include "platform/named_signal.h"

#include <fcntl.h>
#include <semaphore.h>

#include <cerrno>

namespace zelvan_tts {

// A POSIX named semaphore whose value is 0 (clear) or 1 (set).
struct NamedSignal::Handle {
    sem_t* semaphore;
};

std::unique_ptr<NamedSignal> NamedSignal::create_or_open(const std::string& name) {
    sem_t* semaphore = sem_open(name.c_str(), O_CREAT, 0600, 0);
    if (semaphore == SEM_FAILED) return nullptr;
    return std::unique_ptr<NamedSignal>(
        new NamedSignal(std::make_unique<Handle>(Handle{semaphore})));
}

void NamedSignal::remove(const std::string& name) { sem_unlink(name.c_str()); }

NamedSignal::NamedSignal(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

NamedSignal::~NamedSignal() { sem_close(handle_->semaphore); }

bool NamedSignal::test_and_consume() {
    while (sem_trywait(handle_->semaphore) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

void NamedSignal::set() {
    int value = 0;
    if (sem_getvalue(handle_->semaphore, &value) == 0 && value == 0) sem_post(handle_->semaphore);
}

}  // namespace zelvan_tts
