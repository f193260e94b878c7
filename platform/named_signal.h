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
