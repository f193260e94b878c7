#include "platform/debug_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace zelvan_tts {

void debug_output(std::string_view text) {
    const char* path = std::getenv("ZELVAN_TTS_DEBUG_LOG");
    if (path == nullptr || path[0] == '\0') return;
    // One append-mode write per text, so that lines of several processes
    // never interleave within a line.
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const ssize_t ignored = write(fd, text.data(), text.size());
    (void)ignored;
    close(fd);
}

}  // namespace zelvan_tts
