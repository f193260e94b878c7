// The COM runtime calls the plugin makes (task allocator, object creation,
// CLSID strings) are declared in com/sdk.h; this adds what the platform
// and its tests look at.
#pragma once

#include "speech_platform/runtime_api.h"

#include <atomic>
#include <cstdint>

namespace zelvan_tts::speech_platform {

// Object tokens alive in the process.
ZELVAN_RUNTIME_API std::atomic<std::int32_t>& live_tokens();

// Task-allocator blocks not yet freed.
ZELVAN_RUNTIME_API std::int64_t outstanding_allocations();

}  // namespace zelvan_tts::speech_platform
