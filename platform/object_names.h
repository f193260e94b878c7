// Names of the system-wide objects through which the programs meet. Setting
// ZELVAN_TTS_NAMESPACE to a non-empty value appends "." and that value to
// every name, so that tests and side-by-side installs stay apart.
#pragma once

#include <string>
#include <string_view>

namespace zelvan_tts {

enum class NamedObject {
    Pipe,           // where the server takes requests
    ServerMutex,    // held by the one running server
    ServerReady,    // tells clients the server has loaded its model
    ConfigChanged,  // signalled when the settings file was saved
};

// `base` with the namespace suffix appended when one is set.
std::string namespaced_name(std::string_view base);

// The platform's full name of the object, namespace suffix included.
std::string object_name(NamedObject object);

}  // namespace zelvan_tts
