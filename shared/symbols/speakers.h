// The 60 voices of the multi-speaker model. A speaker_index 0..59 selects a
// row everywhere in the system; callers check the range before reading.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zelvan_tts {

struct SpeakerInfo {
    const char* speaker_name;       // key: language prefix, '_', lower-case name part
    const char16_t* display_name;   // "Name (Language)", UTF-16 for the speech platform
    std::int32_t model_speaker_id;  // speaker id given to the model (the row index)
    const char* lang;               // ISO 639-3 language code
    std::uint16_t lcid;             // Windows language identifier
};

inline constexpr std::size_t kSpeakerTableSize = 60;

extern const std::array<SpeakerInfo, kSpeakerTableSize> speakers;

// The row of the voice named by its key ("ru_azat"), its display name
// ("Azat (Russian)") or its given name ("Azat": the first voice of that
// name), without regard to the case of A-Z; nullopt when no voice has it.
// Every host that lets a user name a voice finds it this way.
std::optional<int> find_voice(std::string_view name);

// Every row whose key, display name or given name is `name`, as find_voice
// compares them, in table order: the twins of a given name in both their
// languages.
std::vector<int> voices_named(std::string_view name);

// Whether the voice of this row speaks with a woman's voice.
bool is_female_speaker(int index);

}  // namespace zelvan_tts
