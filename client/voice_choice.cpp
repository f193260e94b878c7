#include "client/voice_choice.h"

#include "shared/symbols/model_constants.h"
#include "shared/symbols/code_points.h"
#include "shared/symbols/speakers.h"

#include <charconv>

namespace zelvan_tts {

std::optional<int> parse_voice(std::string_view argument) {
    int index = -1;
    const char* end = argument.data() + argument.size();
    const auto [ptr, ec] = std::from_chars(argument.data(), end, index);
    if (!argument.empty() && ec == std::errc() && ptr == end) {
        if (index >= 0 && index < kSpeakerCount) return index;
        return std::nullopt;
    }
    return find_voice(argument);
}

std::string unknown_voice_message(std::string_view argument) {
    return "unknown voice \"" + std::string(argument) + "\": give an index from 0 to " +
           std::to_string(kSpeakerCount - 1) +
           ", a key such as ru_azat or a name such as Azat (zelvan_tts voices lists them)";
}

std::string voice_list() {
    std::string out;
    for (const SpeakerInfo& s : speakers) {
        out += std::to_string(s.model_speaker_id) + '\t' + s.speaker_name + '\t' +
               utf16_to_utf8(s.display_name) + '\t' + s.lang + '\n';
    }
    return out;
}

}  // namespace zelvan_tts
