#include "platform/object_names.h"

namespace zelvan_tts {

std::string object_name(NamedObject object) {
    switch (object) {
        case NamedObject::Pipe:
            return namespaced_name("\\\\.\\pipe\\ZelvanTTSBridge");
        // Global\: one server per machine, seen from every logon session.
        case NamedObject::ServerMutex:
            return namespaced_name("Global\\ZelvanTTSServerMutex");
        case NamedObject::ServerReady:
            return namespaced_name("Global\\ZelvanTTSServerReady");
        // Local\: the settings belong to the user of this logon session.
        case NamedObject::ConfigChanged:
            return namespaced_name("Local\\ZelvanTTSConfigChanged");
    }
    return {};
}

}  // namespace zelvan_tts
