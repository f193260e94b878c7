// Choosing a voice on the command line: by its index or by its key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelvan_tts {

// The voice index of "20" or "ru_azat"; nullopt when it names no voice.
std::optional<int> parse_voice(std::string_view argument);

// The error text for an argument that names no voice.
std::string unknown_voice_message(std::string_view argument);

// The voice list: index, key, display name and language code, tab-separated,
// one voice per line.
std::string voice_list();

}  // namespace zelvan_tts
