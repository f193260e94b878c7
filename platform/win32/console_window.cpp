#include "platform/console_window.h"

#include <windows.h>

namespace zelvan_tts {

// Only the window goes; the console stays, so output still has somewhere to go.
void hide_console_window() {
    if (HWND window = GetConsoleWindow()) ShowWindow(window, SW_HIDE);
}

}  // namespace zelvan_tts
