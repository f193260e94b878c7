// A named signal shared by the user's processes, with at most one pending
// signal: whichever process tests it first after it was set consumes it.
#pragma once

#include <memory>
#include <string>

namespace zelvan_tts {

class NamedSignal {
public:
    // Creates the signal, or opens it when another process created it first.
    // Null when neither is possible.
    static std::unique_ptr<NamedSignal> create_or_open(const std::string& name);

    // Removes the name, so that the next create_or_open makes a new signal;
    // handles already open keep working. A POSIX semaphore stays in the
    // system until its name is removed; a Windows event ends with its last
    // handle, so there this does nothing. The programs never remove the
    // signal: running engines wait on it.
    static void remove(const std::string& name);

    ~NamedSignal();
    NamedSignal(const NamedSignal&) = delete;
    NamedSignal& operator=(const NamedSignal&) = delete;

    // True when the signal was set; the signal is cleared by this test.
    // Never waits.
    bool test_and_consume();

    // Sets the signal; setting a signal that is already set changes nothing.
    void set();

private:
    struct Handle;
    explicit NamedSignal(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> handle_;
};

}  // namespace zelvan_tts
