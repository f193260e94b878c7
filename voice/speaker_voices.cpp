#include "voice/speaker_voices.h"

#include "shared/symbols/speakers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace zelvan_tts::voice {

namespace {

constexpr const char* kSpeakerHimself = "azat";

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
    const bool female = is_female_speaker(speaker_id);
    // The person's place among the people of the same sex, in table order.
    std::vector<std::string> people;
    for (int i = 0; i < static_cast<int>(kSpeakerTableSize); ++i) {
        const std::string other = given_name(i);
        if (is_female_speaker(i) == female && other != kSpeakerHimself &&
            std::find(people.begin(), people.end(), other) == people.end())
            people.push_back(other);
    }
    const std::string lang = speakers[static_cast<std::size_t>(speaker_id)].lang;
    SpeakerVoice v{female, 1.0f, 1.0f, 1.0f, stress_of(lang), lang == "rus" || lang == "bel",
                   1.0f, 0.0f, 0.0f, 0.0f};
    if (name == kSpeakerHimself) return v;
    const int n = static_cast<int>(people.size());
    const int i = static_cast<int>(std::find(people.begin(), people.end(), name) - people.begin());
    // A grid of pitch levels (7% apart) by tract lengths (7-8% apart), one
    // person per point, neighbours in the table far apart on it. The
    // melody's range and accents grow with the pitch level, so that they
    // never pull a higher level's median pitch under a lower one's; the
    // declination follows the tract.
    const int slot = (i * 7) % n;
    int level = 0, tract = 0;
    if (female) {
        constexpr float kPitch[] = {1.30f, 1.39f, 1.49f, 1.60f, 1.71f};
        constexpr float kTract[] = {1.05f, 1.13f, 1.21f, 1.30f};
        level = slot % 5;
        tract = (slot / 5) % 4;
        v.pitch = kPitch[level];
        v.tract = kTract[tract];
        v.spread = 1.05f + 0.04f * static_cast<float>(level);
        v.accent = 0.03f + 0.008f * static_cast<float>(level);
    } else {
        // Neither 0.93 nor 1.08 is his own pitch, and every tract but the
        // middle one is 8% off his.
        constexpr float kPitch[] = {0.79f, 0.86f, 0.93f, 1.08f};
        constexpr float kTract[] = {0.92f, 1.0f, 1.08f};
        level = slot % 4;
        tract = (slot / 4) % 3;
        v.pitch = kPitch[level];
        v.tract = kTract[tract];
        v.spread = 0.85f + 0.05f * static_cast<float>(level);
        v.accent = 0.01f * static_cast<float>(level);
    }
    v.decline = 0.02f + 0.05f * static_cast<float>(tract);
    // A shorter tract sounds brighter still; a longer one darker.
    v.tilt = std::clamp(3.5f * (v.tract - (female ? 1.18f : 1.0f)), -0.45f, 0.45f);
    v.rate = 0.92f + 0.16f * spread(i, n, 13);
    return v;
}

}  // namespace zelvan_tts::voice
