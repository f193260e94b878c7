#include "speechd/voice_settings.h"

#include "shared/symbols/languages.h"
#include "shared/symbols/speakers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace zelvan_tts::speechd {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool read_level(std::string_view value, int& out) {
    if (value == "NULL") {
        out = 0;
        return true;
    }
    int v = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (ec != std::errc() || end != value.data() + value.size()) return false;
    out = std::clamp(v, -100, 100);
    return true;
}

}  // namespace

bool apply_setting(VoiceSettings& s, std::string_view name, std::string_view value) {
    const bool null = value == "NULL";
    const std::string v = lower(value);
    if (name == "rate") return read_level(value, s.rate);
    if (name == "pitch") return read_level(value, s.pitch);
    if (name == "volume") return read_level(value, s.volume);
    if (name == "punctuation_mode") {
        if (null || v == "none") s.reading.punctuation = Punctuation::None;
        else if (v == "some") s.reading.punctuation = Punctuation::Some;
        else if (v == "most") s.reading.punctuation = Punctuation::Most;
        else if (v == "all") s.reading.punctuation = Punctuation::All;
        else return false;
        return true;
    }
    if (name == "spelling_mode") {
        if (null || v == "off") s.reading.spelling = false;
        else if (v == "on") s.reading.spelling = true;
        else return false;
        return true;
    }
    if (name == "cap_let_recogn") {
        if (null || v == "none") s.reading.capitals = Capitals::None;
        else if (v == "spell") s.reading.capitals = Capitals::Spell;
        else if (v == "icon") s.reading.capitals = Capitals::Icon;
        else return false;
        return true;
    }
    if (name == "voice") {
        static const char* const kTypes[] = {"male1",   "male2",   "male3",      "female1",
                                             "female2", "female3", "child_male", "child_female"};
        if (null) {
            s.voice_type.clear();
            return true;
        }
        if (std::find(std::begin(kTypes), std::end(kTypes), v) == std::end(kTypes)) return false;
        s.voice_type = v;
        return true;
    }
    if (name == "language") {
        s.language = null ? std::string() : std::string(value);
        return true;
    }
    if (name == "synthesis_voice") {
        s.synthesis_voice = null ? std::string() : std::string(value);
        return true;
    }
    return true;
}

float speed_factor(int rate) {
    const double r = std::clamp(rate, -100, 100) / 100.0;
    return static_cast<float>(r >= 0 ? std::pow(3.0, r) : std::pow(2.0, r));
}

float pitch_factor(int pitch) {
    return static_cast<float>(std::pow(2.0, std::clamp(pitch, -100, 100) / 200.0));
}

float volume_gain(int volume) {
    const double v = std::clamp(volume, -100, 100) / 100.0;
    // Loudness follows the square of the amplitude more closely than the
    // amplitude itself, so the quiet half of the scale is not all whisper.
    return static_cast<float>(v >= 0 ? 1.0 + v : (1.0 + v) * (1.0 + v));
}

std::string language_code(std::string_view iso) {
    const char* two_letter = language_profile(iso).two_letter;
    return *two_letter != '\0' ? two_letter : std::string(iso);
}

std::string iso639_3(std::string_view language) { return voice_language_of(language); }

bool is_female_voice(const VoiceInfo& voice) {
    const std::optional<int> row = find_voice(voice.key);
    return row && is_female_speaker(*row);
}

VoiceChoice choose_voice(const std::vector<VoiceInfo>& voices, const VoiceSettings& s,
                         int default_voice) {
    const int count = static_cast<int>(voices.size());
    if (default_voice < 0 || default_voice >= count) default_voice = 0;
    if (count == 0) return {};
    if (!s.synthesis_voice.empty()) {
        const std::string wanted = lower(s.synthesis_voice);
        for (int i = 0; i < count; ++i)
            if (lower(voices[i].key) == wanted || lower(voices[i].display_name) == wanted)
                return {i, 1.0f};
    }
    std::string language = iso639_3(s.language);
    if (language.empty()) language = voices[default_voice].language;

    const std::string& type = s.voice_type;
    if ((type.empty() || type == "male1") && voices[default_voice].language == language)
        return {default_voice, 1.0f};

    const bool child = type.rfind("child_", 0) == 0;
    const bool female = type.find("female") != std::string::npos;
    const int nth = child || type.empty() ? 0 : std::max(0, type.back() - '1');
    std::vector<int> same_sex, any;
    for (int i = 0; i < count; ++i) {
        if (voices[i].language != language) continue;
        any.push_back(i);
        if (is_female_voice(voices[i]) == female) same_sex.push_back(i);
    }
    const std::vector<int>& pool = same_sex.empty() ? any : same_sex;
    if (pool.empty()) return {default_voice, child ? 1.3f : 1.0f};
    return {pool[static_cast<std::size_t>(nth) % pool.size()], child ? 1.3f : 1.0f};
}

std::vector<std::string> voice_list(const std::vector<VoiceInfo>& voices) {
    std::vector<std::string> lines;
    lines.reserve(voices.size());
    for (const VoiceInfo& v : voices) lines.push_back(v.key + "\t" + language_code(v.language) + "\tnone");
    return lines;
}

}  // namespace zelvan_tts::speechd
