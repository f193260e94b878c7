// The console window of a console program. A server started by a client
// runs out of sight; only its --debug mode keeps the window on screen.
#pragma once

namespace zelvan_tts {

// Hides the window of the process's console, if it has one. A terminal here
// belongs to whoever opened it, so there is nothing to hide.
void hide_console_window();

}  // namespace zelvan_tts
