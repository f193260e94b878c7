#include "shared/symbols/speakers.h"

#include "shared/symbols/code_points.h"

#include <string>

namespace zelvan_tts {

// Most voices come in twins that share a given name: one row in the voice's own
// language and one in Russian (rows 20-48). Rows 6 and 8 have no twin.
const std::array<SpeakerInfo, kSpeakerTableSize> speakers = {{
    {"aze_aysel", u"Aysel (Azerbaijani)", 0, "aze", 0x042C},
    {"bak_azat", u"Azat (Bashkir)", 1, "bak", 0x046D},
    {"bak_gulnara", u"Gulnara (Bashkir)", 2, "bak", 0x046D},
    {"bak_aigul2", u"Aigul 2 (Bashkir)", 3, "bak", 0x046D},
    {"bak_ural", u"Ural (Bashkir)", 4, "bak", 0x046D},
    {"bak_zilya", u"Zilya (Bashkir)", 5, "bak", 0x046D},
    {"bel_alesya", u"Alesya (Belarusian)", 6, "bel", 0x0423},
    {"bel_yanka", u"Yanka (Belarusian)", 7, "bel", 0x0423},
    {"bel_mikhas", u"Mikhas (Belarusian)", 8, "bel", 0x0423},
    {"chv_narspi", u"Narspi (Chuvash)", 9, "chv", 0x0419},
    {"erz_litova", u"Litova (Erzya)", 10, "myv", 0x0419},
    {"hye_anush", u"Anush (Armenian)", 11, "hye", 0x042B},
    {"kat_nino", u"Nino (Georgian)", 12, "kat", 0x0437},
    {"kaz_aidana", u"Aidana (Kazakh)", 13, "kaz", 0x043F},
    {"kaz_nurlan", u"Nurlan (Kazakh)", 14, "kaz", 0x043F},
    {"kbd_zalina", u"Zalina (Kabardian)", 15, "kbd", 0x0419},
    {"kir_aibek", u"Aibek (Kyrgyz)", 16, "kir", 0x0440},
    {"kjh_tanai", u"Tanai (Khakas)", 17, "kjh", 0x0419},
    {"kjh_sulu", u"Sulu (Khakas)", 18, "kjh", 0x0419},
    {"mdf_tyushtya", u"Tyushtya (Moksha)", 19, "mdf", 0x0419},
    {"ru_azat", u"Azat (Russian)", 20, "rus", 0x0419},
    {"ru_alsu", u"Alsu (Russian)", 21, "rus", 0x0419},
    {"ru_litova", u"Litova (Russian)", 22, "rus", 0x0419},
    {"ru_gulnara", u"Gulnara (Russian)", 23, "rus", 0x0419},
    {"ru_aigul2", u"Aigul 2 (Russian)", 24, "rus", 0x0419},
    {"ru_zarni", u"Zarni (Russian)", 25, "rus", 0x0419},
    {"ru_yanka", u"Yanka (Russian)", 26, "rus", 0x0419},
    {"ru_zalina", u"Zalina (Russian)", 27, "rus", 0x0419},
    {"ru_narspi", u"Narspi (Russian)", 28, "rus", 0x0419},
    {"ru_aysel", u"Aysel (Russian)", 29, "rus", 0x0419},
    {"ru_oksana", u"Oksana (Russian)", 30, "rus", 0x0419},
    {"ru_tanai", u"Tanai (Russian)", 31, "rus", 0x0419},
    {"ru_bayr", u"Bayr (Russian)", 32, "rus", 0x0419},
    {"ru_saglar", u"Saglar (Russian)", 33, "rus", 0x0419},
    {"ru_rustem", u"Rustem (Russian)", 34, "rus", 0x0419},
    {"ru_ural", u"Ural (Russian)", 35, "rus", 0x0419},
    {"ru_aibek", u"Aibek (Russian)", 36, "rus", 0x0419},
    {"ru_tyushtya", u"Tyushtya (Russian)", 37, "rus", 0x0419},
    {"ru_farhod", u"Farhod (Russian)", 38, "rus", 0x0419},
    {"ru_zilya", u"Zilya (Russian)", 39, "rus", 0x0419},
    {"ru_taras", u"Taras (Russian)", 40, "rus", 0x0419},
    {"ru_zarina", u"Zarina (Russian)", 41, "rus", 0x0419},
    {"ru_dilnoza", u"Dilnoza (Russian)", 42, "rus", 0x0419},
    {"ru_sulu", u"Sulu (Russian)", 43, "rus", 0x0419},
    {"ru_nino", u"Nino (Russian)", 44, "rus", 0x0419},
    {"ru_anush", u"Anush (Russian)", 45, "rus", 0x0419},
    {"ru_aidana", u"Aidana (Russian)", 46, "rus", 0x0419},
    {"ru_nurlan", u"Nurlan (Russian)", 47, "rus", 0x0419},
    {"ru_sardana", u"Sardana (Russian)", 48, "rus", 0x0419},
    {"sah_sardana", u"Sardana (Sakha)", 49, "sah", 0x0485},
    {"tat_alsu", u"Alsu (Tatar)", 50, "tat", 0x0444},
    {"tat_rustem", u"Rustem (Tatar)", 51, "tat", 0x0444},
    {"tgk_farhod", u"Farhod (Tajik)", 52, "tgk", 0x0428},
    {"tgk_zarina", u"Zarina (Tajik)", 53, "tgk", 0x0428},
    {"udm_zarni", u"Zarni (Udmurt)", 54, "udm", 0x0419},
    {"ukr_oksana", u"Oksana (Ukrainian)", 55, "ukr", 0x0422},
    {"ukr_taras", u"Taras (Ukrainian)", 56, "ukr", 0x0422},
    {"uzb_dilnoza", u"Dilnoza (Uzbek)", 57, "uzb", 0x0443},
    {"xal_bayr", u"Bayr (Kalmyk)", 58, "xal", 0x0419},
    {"xal_saglar", u"Saglar (Kalmyk)", 59, "xal", 0x0419},
}};

namespace {

bool has_name(const SpeakerInfo& s, std::string_view name) {
    const std::string display = utf16_to_utf8(s.display_name);
    const std::string_view given = std::string_view(display).substr(0, display.find(" ("));
    return equal_ignoring_ascii_case(name, s.speaker_name) ||
           equal_ignoring_ascii_case(name, display) || equal_ignoring_ascii_case(name, given);
}

// The given names of the table that are women's names, as the keys write
// them (without a number after the name).
const char* const kWomen[] = {"aysel",  "gulnara", "aigul",  "zilya",   "alesya",
                              "narspi", "litova",  "anush",  "nino",    "aidana",
                              "zalina", "sulu",    "alsu",   "zarni",   "oksana",
                              "saglar", "zarina",  "dilnoza", "sardana"};

}  // namespace

std::optional<int> find_voice(std::string_view name) {
    for (const SpeakerInfo& s : speakers)
        if (has_name(s, name)) return s.model_speaker_id;
    return std::nullopt;
}

std::vector<int> voices_named(std::string_view name) {
    std::vector<int> rows;
    for (const SpeakerInfo& s : speakers)
        if (has_name(s, name)) rows.push_back(s.model_speaker_id);
    return rows;
}

bool is_female_speaker(int index) {
    if (index < 0 || index >= static_cast<int>(kSpeakerTableSize)) return false;
    std::string_view name = speakers[static_cast<std::size_t>(index)].speaker_name;
    name.remove_prefix(name.find('_') + 1);
    while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.remove_suffix(1);
    for (const char* woman : kWomen)
        if (name == woman) return true;
    return false;
}

}  // namespace zelvan_tts
