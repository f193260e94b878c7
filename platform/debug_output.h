// The debugger output of the platform (OutputDebugStringA on Windows). Here
// the text is appended to the file named by ZELVAN_TTS_DEBUG_LOG when that is
// set, and goes nowhere otherwise.
#pragma once

#include <string_view>

namespace zelvan_tts {

// Writes `text` as it is (callers end their lines themselves). Never fails.
void debug_output(std::string_view text);

}  // namespace zelvan_tts
