#include "platform/console_window.h"

namespace zelvan_tts {

// A terminal is not the program's to hide; a server started in the
// background has none (see launch_detached).
void hide_console_window() {}

}  // namespace zelvan_tts
