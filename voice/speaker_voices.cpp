#include "voice/speaker_voices.h"

#include "shared/symbols/speakers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace zelvan_tts::voice {

namespace {

// The given names of the speaker table that are women's names.
constexpr const char* kWomen[] = {"aysel",  "gulnara", "aigul",   "zilya",  "alesya",
                                  "narspi", "litova",  "anush",   "nino",   "aidana",
                                  "zalina", "sulu",    "alsu",    "zarni",  "oksana",
                                  "saglar", "zarina",  "dilnoza", "sardana"};
constexpr const char* kSpeakerHimself = "azat";

bool is_woman(const std::string& name) {
    return std::any_of(std::begin(kWomen), std::end(kWomen),
                       [&](const char* w) { return name == w; });
}

DefaultStress stress_of(const std::string& lang) {
    if (lang == "rus" || lang == "bel" || lang == "ukr") return DefaultStress::Lexical;
    if (lang == "kat" || lang == "myv" || lang == "mdf" || lang == "xal")
        return DefaultStress::First;
    if (lang == "kbd") return DefaultStress::Penultimate;
    return DefaultStress::Last;  // the Turkic languages, Tajik, Armenian, Udmurt
}

// Spreads the i-th of n people over [0, 1] so that neighbours in the table
// sound far apart.
float spread(int i, int n, int stride) {
    if (n <= 1) return 0.5f;
    return static_cast<float>((i * stride) % n) / static_cast<float>(n - 1);
}

}  // namespace

std::string given_name(int speaker_id) {
    if (speaker_id < 0 || speaker_id >= static_cast<int>(kSpeakerTableSize))
        throw std::out_of_range("speaker id out of range");
    const char* key = speakers[static_cast<std::size_t>(speaker_id)].speaker_name;
    std::string name = std::strchr(key, '_') + 1;
    while (!name.empty() && std::isdigit(static_cast<unsigned char>(name.back()))) name.pop_back();
    return name;
}

SpeakerVoice speaker_voice(int speaker_id) {
    const std::string name = given_name(speaker_id);
    const bool female = is_woman(name);
    // The person's place among the people of the same sex, in table order.
    std::vector<std::string> people;
    for (int i = 0; i < static_cast<int>(kSpeakerTableSize); ++i) {
        const std::string other = given_name(i);
        if (is_woman(other) == female && other != kSpeakerHimself &&
            std::find(people.begin(), people.end(), other) == people.end())
            people.push_back(other);
    }
    const std::string lang = speakers[static_cast<std::size_t>(speaker_id)].lang;
    SpeakerVoice v{female, 1.0f, 1.0f, 1.0f, stress_of(lang), lang == "rus" || lang == "bel"};
    if (name == kSpeakerHimself) return v;
    const int n = static_cast<int>(people.size());
    const int i = static_cast<int>(std::find(people.begin(), people.end(), name) - people.begin());
    const float p = spread(i, n, 7), r = spread(i, n, 5);
    if (female) {
        v.pitch = 1.4f + 0.45f * p;
        v.tract = 1.12f + 0.09f * p;
    } else {
        v.pitch = 0.8f + 0.4f * p;
        v.tract = 1.0f + 0.3f * (v.pitch - 1.0f);
    }
    v.rate = 0.92f + 0.16f * r;
    return v;
}

}  // namespace zelvan_tts::voice
