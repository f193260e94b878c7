#include "shared/symbols/languages.h"

#include "shared/symbols/code_points.h"

namespace zelvan_tts {

namespace {

constexpr NumberReader kRu = NumberReader::Russian;
constexpr ScriptTable kNone = ScriptTable::None;

const LanguageProfile kUnknown = {"", "", "", "", kRu, kNone, "", false, false};

}  // namespace

const LanguageProfile language_profiles[kLanguageCount] = {
    {"aze", "az", "aze", "aze", kRu, ScriptTable::Azerbaijani, "", false, false},
    {"bak", "ba", "bak", "bak", kRu, kNone, "", false, false},
    {"bel", "be", "bel", "bel", kRu, kNone, "by", false, true},
    {"chv", "cv", "chv", "chv", kRu, kNone, "", false, false},
    {"myv", "", "myv", "erz", kRu, kNone, "", false, false},
    {"hye", "hy", "arm", "hye", kRu, ScriptTable::Armenian, "", false, false},
    {"kat", "ka", "geo", "kat", NumberReader::Georgian, ScriptTable::Georgian, "", false, false},
    {"kaz", "kk", "kaz", "kaz", kRu, kNone, "", false, false},
    {"kbd", "", "kbd", "kbd", kRu, kNone, "", false, false},
    {"kir", "ky", "kir", "kir", kRu, kNone, "", false, false},
    {"kjh", "", "kjh", "kjh", kRu, kNone, "", false, false},
    {"mdf", "", "mdf", "mdf", kRu, kNone, "", false, false},
    {"rus", "ru", "rus", "ru", kRu, kNone, "ru", true, true, WrittenForms::Russian},
    {"sah", "", "sah", "sah", kRu, kNone, "", false, false},
    {"tat", "tt", "tat", "tat", kRu, kNone, "", false, false},
    {"tgk", "tg", "tgk", "tgk", kRu, kNone, "", false, false},
    {"udm", "", "udm", "udm", kRu, kNone, "", false, false},
    {"ukr", "uk", "ukr", "ukr", kRu, kNone, "ua", false, true},
    {"uzb", "uz", "uzb", "uzb", kRu, ScriptTable::Uzbek, "", false, false},
    {"xal", "", "xal", "xal", kRu, kNone, "", false, false},
};

const LanguageProfile& language_profile(std::string_view iso639_3) {
    for (const LanguageProfile& profile : language_profiles) {
        if (iso639_3 == profile.iso639_3) return profile;
    }
    return kUnknown;
}

bool is_voice_language(std::string_view iso639_3) {
    return &language_profile(iso639_3) != &kUnknown;
}

const char* voice_language_of(std::string_view code) {
    const std::string primary = ascii_lower(code.substr(0, code.find_first_of("-_.@")));
    if (primary.empty()) return "";
    for (const LanguageProfile& l : language_profiles) {
        if (primary == l.iso639_3 || primary == l.two_letter || primary == l.voice_key ||
            primary == l.iso639_2b)
            return l.iso639_3;
    }
    return "";
}

}  // namespace zelvan_tts
