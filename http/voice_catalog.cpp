#include "http/voice_catalog.h"

#include "shared/symbols/languages.h"
#include "shared/symbols/speakers.h"
#include "zelvan_tts.h"

#include <cctype>

namespace zelvan_tts {

const std::vector<VoiceEntry>& voice_catalog() {
    static const std::vector<VoiceEntry> catalog = [] {
        std::vector<VoiceEntry> out;
        for (int i = 0; i < zelvan_tts_voice_count(); ++i) {
            zelvan_tts_voice v{};
            zelvan_tts_voice_info(i, &v);
            const std::string two = language_profile(v.language).two_letter;
            out.push_back({i, v.key, v.display_name, v.language, two.empty() ? v.language : two,
                           is_female_speaker(i)});
        }
        return out;
    }();
    return catalog;
}

int find_voice_by_name(std::string_view name) {
    if (name.empty() || name.size() > 200) return -1;
    bool digits = true;
    for (char c : name) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (digits) {
        const int index = name.size() <= 3 ? std::stoi(std::string(name)) : -1;
        return index < zelvan_tts_voice_count() ? index : -1;
    }
    return zelvan_tts_find_voice(std::string(name).c_str());
}

int find_voice_by_language(std::string_view language) {
    const std::string_view code = voice_language_of(language);
    for (const VoiceEntry& v : voice_catalog())
        if (!code.empty() && v.language == code) return v.index;
    return -1;
}

}  // namespace zelvan_tts
