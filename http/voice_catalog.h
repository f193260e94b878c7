// The voices as the network sees them: the library's table with each
// voice's gender and a language code that clients of either kind know.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

struct VoiceEntry {
    int index;
    std::string key;           // "ru_azat"
    std::string display_name;  // "Azat (Russian)"
    std::string language;      // ISO 639-3: "rus"
    std::string language_code; // ISO 639-1 where one exists ("ru"), else the 639-3 code
    bool female;
};

const std::vector<VoiceEntry>& voice_catalog();

// A voice by index ("20"), key, display name or given name, without regard
// to case; -1 when none matches.
int find_voice_by_name(std::string_view name);

// The first voice of a language, by either code ("ru", "rus", "ru-RU",
// "ru_RU"); -1 when no voice speaks it.
int find_voice_by_language(std::string_view language);

}  // namespace zelvan_tts
