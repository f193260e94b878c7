// The module's configuration file, the one speech-dispatcher names on the
// module's command line (AddModule's third field), in speech-dispatcher's
// syntax: one `Name value` per line, the value optionally in double quotes,
// `#` starting a comment.
#pragma once

#include <string>
#include <string_view>

namespace zelvan_tts::speechd {

struct ModuleConfig {
    // ZelvanModelPath: the models folder; empty leaves the library's search.
    std::string model_path;
    // ZelvanDefaultVoice: the voice key or name used when no other is asked.
    std::string default_voice;
};

ModuleConfig parse_module_config(std::string_view text);

// A missing or unreadable file gives the defaults.
ModuleConfig read_module_config(const std::string& path);

}  // namespace zelvan_tts::speechd
