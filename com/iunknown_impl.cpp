#include "com/iunknown_impl.h"

namespace zelvan_tts::com {

std::atomic<std::int32_t> live_objects{0};

}  // namespace zelvan_tts::com
