#include "platform/debug_output.h"

#include <windows.h>

#include <string>

namespace zelvan_tts {

// A debugger or a monitor such as DebugView shows the text; without one it
// goes nowhere.
void debug_output(std::string_view text) { OutputDebugStringA(std::string(text).c_str()); }

}  // namespace zelvan_tts
