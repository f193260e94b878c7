// The settings speech-dispatcher sends (SET) and what they become for the
// engine: speed, pitch and volume factors, and the voice, chosen by name, by
// language and by voice type (male1 ... child_female).
#pragma once

#include "text/reading_modes.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts::speechd {

struct VoiceInfo {
    std::string key;           // "ru_azat"
    std::string display_name;  // "Azat (Russian)"
    std::string language;      // ISO 639-3: "rus"
};

struct VoiceSettings {
    int rate = 0;    // -100..100
    int pitch = 0;   // -100..100
    int volume = 0;  // -100..100
    ReadingModes reading;
    std::string voice_type;       // "male1" ... "child_female"; empty: none asked
    std::string language;         // as sent ("ru", "kk-KZ"); empty: none
    std::string synthesis_voice;  // a voice key or display name; empty: none
};

// Applies one name=value line of SET. The value NULL returns a setting to its
// default. False when a known setting gets a value it cannot take (it then
// keeps the value it had); names the module has no use for are ignored.
bool apply_setting(VoiceSettings& settings, std::string_view name, std::string_view value);

// The curves from -100..100: rate 0 is the voice's own tempo, +100 three
// times as fast, -100 half as fast; pitch spans half an octave either way;
// volume +100 doubles the amplitude and -100 is silence.
float speed_factor(int rate);
float pitch_factor(int pitch);
float volume_gain(int volume);

// The language code speech-dispatcher shows for an ISO 639-3 code: the
// two-letter code where one exists ("rus" -> "ru", "kat" -> "ka"), the
// three-letter code otherwise ("kbd").
std::string language_code(std::string_view iso639_3);

// The ISO 639-3 code of a language as speech-dispatcher names it ("ru",
// "ru-RU", "uk_UA", "rus"); empty when no voice speaks it.
std::string iso639_3(std::string_view language);

struct VoiceChoice {
    int voice = 0;
    float pitch = 1.0f;  // the child voice types speak higher
};

// The voice for the next message: the synthesis voice when it names one;
// else the voice type among the voices of the language (the default voice's
// language when none of ours is set): male1..male3 and female1..female3 the
// first to third man or woman in table order, child_male and child_female the
// first of them, higher. The daemon's own default type male1 keeps the
// default voice when it speaks that language.
VoiceChoice choose_voice(const std::vector<VoiceInfo>& voices, const VoiceSettings& settings,
                         int default_voice);

// The lines of the LIST VOICES reply: key, language code and variant,
// separated by tabs.
std::vector<std::string> voice_list(const std::vector<VoiceInfo>& voices);

// Whether a voice's given name is a woman's name.
bool is_female_voice(const VoiceInfo& voice);

}  // namespace zelvan_tts::speechd
