// The stand-in registry: keys, values and data kept in the JSON file named
// by ZELVAN_TTS_REGISTRY. The Reg* calls of the runtime work on it, and the
// platform reads it through these functions. Key paths start with
// "HKEY_LOCAL_MACHINE"; paths and value names compare ignoring case.
#pragma once

#include "speech_platform/runtime_api.h"

#include <optional>
#include <string>
#include <vector>

namespace zelvan_tts::speech_platform {

// Environment variable naming the registry file.
inline constexpr const char* kRegistryVariable = "ZELVAN_TTS_REGISTRY";

// The keys every registry has before anything is registered.
ZELVAN_RUNTIME_API std::vector<std::string> base_registry_keys();

// Every key path in the registry, in the file's order; empty when no
// registry file is named.
ZELVAN_RUNTIME_API std::vector<std::string> registry_keys();

// The data of a value (empty name: the default value), or nullopt when the
// key or the value is missing.
ZELVAN_RUNTIME_API std::optional<std::string> registry_value(const std::string& key_path,
                                                             const std::string& value_name);

// The names of the values of a key, in order; empty when it is missing.
ZELVAN_RUNTIME_API std::vector<std::string> registry_value_names(const std::string& key_path);

// The names of the direct subkeys of a key.
ZELVAN_RUNTIME_API std::vector<std::string> registry_subkeys(const std::string& key_path);

}  // namespace zelvan_tts::speech_platform
