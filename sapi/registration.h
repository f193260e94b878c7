// Self-registration: the two classes as in-process servers and the voice
// category's token enumerator, and their removal.
#pragma once

#include "com/sdk.h"

namespace zelvan_tts::sapi {

// Writes the registration keys. Throws registry::error, com::com_error or
// std::runtime_error at the failing step; keys written before it stay.
void register_server();

// Removes what register_server wrote, ignoring every failure.
void unregister_server() noexcept;

}  // namespace zelvan_tts::sapi
