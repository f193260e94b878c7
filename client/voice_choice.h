// Choosing a voice on the command line: by its index, its key or its name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelvan_tts {

// The voice index of "20", of a key ("ru_azat"), of a display name ("Azat
// (Russian)") or of a given name ("Azat": the first voice of that name),
// names compared without regard to case; nullopt when it names no voice.
// The rule of the engine library's voice search, without loading it.
std::optional<int> parse_voice(std::string_view argument);

// The error text for an argument that names no voice.
std::string unknown_voice_message(std::string_view argument);

// The voice list: index, key, display name and language code, tab-separated,
// one voice per line.
std::string voice_list();

}  // namespace zelvan_tts
