// How the server tells waiting clients that its model is loaded. On Windows
// this is a manual-reset event that the server sets and keeps set for its
// life; here readiness is the pipe socket itself, which the server only
// starts listening on after loading, so there is nothing more to announce.
#pragma once

#include <memory>
#include <string>

namespace zelvan_tts {

class ServerReadySignal {
public:
    // Creates (or opens) the signal named `name` (an object_name) and sets
    // it; it stays set while the returned object lives. Null when the system
    // refuses; the server then runs without it.
    static std::unique_ptr<ServerReadySignal> announce(const std::string& name);

    ~ServerReadySignal();
    ServerReadySignal(const ServerReadySignal&) = delete;
    ServerReadySignal& operator=(const ServerReadySignal&) = delete;

private:
    struct Handle;
    explicit ServerReadySignal(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> handle_;
};

}  // namespace zelvan_tts
