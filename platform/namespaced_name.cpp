// The namespace suffix is the same on every platform; only the object names
// it is appended to differ.
#include "platform/object_names.h"

#include <cstdlib>

namespace zelvan_tts {

std::string namespaced_name(std::string_view base) {
    std::string name(base);
    const char* ns = std::getenv("ZELVAN_TTS_NAMESPACE");
    if (ns != nullptr && ns[0] != '\0') {
        name += '.';
        name += ns;
    }
    return name;
}

}  // namespace zelvan_tts
