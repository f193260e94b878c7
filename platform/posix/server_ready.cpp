#include "platform/server_ready.h"

namespace zelvan_tts {

// Readiness is the listening pipe socket; the object only marks the moment.
struct ServerReadySignal::Handle {};

ServerReadySignal::ServerReadySignal(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

ServerReadySignal::~ServerReadySignal() = default;

std::unique_ptr<ServerReadySignal> ServerReadySignal::announce(const std::string& /*name*/) {
    return std::unique_ptr<ServerReadySignal>(new ServerReadySignal(std::make_unique<Handle>()));
}

}  // namespace zelvan_tts
