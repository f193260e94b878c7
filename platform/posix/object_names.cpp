#include "platform/object_names.h"

#include <unistd.h>

namespace zelvan_tts {

std::string object_name(NamedObject object) {
    switch (object) {
        // A leading '@' names an abstract Unix socket.
        case NamedObject::Pipe:
        case NamedObject::ServerReady:  // ready = the pipe socket is listening
            return namespaced_name("@ZelvanTTSBridge");
        case NamedObject::ServerMutex:
            return namespaced_name("@ZelvanTTSServerMutex");
        case NamedObject::ConfigChanged:
            // Named semaphores are machine-wide; the Windows event is per session.
            return namespaced_name("/ZelvanTTSConfigChanged." + std::to_string(getuid()));
    }
    return {};
}

}  // namespace zelvan_tts
