// What each voice language asks of the text steps: how numbers are read,
// which script table rewrites its letters, whether stress and homograph
// models apply, and the names other programs know it by. Every per-language
// decision reads this table instead of comparing codes of its own.
#pragma once

#include <cstddef>
#include <string_view>

namespace zelvan_tts {

enum class NumberReader { Russian, Georgian };

// The voice's own letters for languages whose script the model does not
// know; Latin letters are rewritten in every language regardless.
enum class ScriptTable { None, Georgian, Azerbaijani, Armenian, Uzbek };

// Whose conventions the written-forms step reads numbers, units and
// abbreviations by; None leaves them to the number step alone.
enum class WrittenForms { None, Russian };

struct LanguageProfile {
    const char* iso639_3;    // the voice table's code: "rus"
    const char* two_letter;  // ISO 639-1 where one exists ("ru"), else ""
    const char* iso639_2b;   // the bibliographic code ("arm" for "hye"), mostly iso639_3
    const char* voice_key;   // prefix of its own voices' keys ("erz" for "myv")
    NumberReader numbers;
    ScriptTable script;
    const char* accentor;  // the stress models' name for it ("ru", "by", "ua"), else ""
    bool homographs;       // the homograph model reads it
    bool stress_lines;     // the text steps log the stress stage's before and after
    WrittenForms written_forms = WrittenForms::None;
};

inline constexpr std::size_t kLanguageCount = 20;

// The twenty languages of the voice table, by ISO 639-3 code.
extern const LanguageProfile language_profiles[kLanguageCount];

// The profile of an ISO 639-3 code (exact, lower case); a code no voice
// speaks gets the plain profile: Russian numbers, no tables, no models.
const LanguageProfile& language_profile(std::string_view iso639_3);

// Whether a voice speaks the language of this ISO 639-3 code.
bool is_voice_language(std::string_view iso639_3);

// The ISO 639-3 code of a language as other programs and documents name it:
// "ru", "ru-RU", "uk_UA", "rus", "arm", "erz", without regard to case; ""
// when no voice speaks it.
const char* voice_language_of(std::string_view code);

}  // namespace zelvan_tts
