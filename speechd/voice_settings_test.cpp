#include "speechd/voice_settings.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/speakers.h"

#include <gtest/gtest.h>

namespace zelvan_tts::speechd {
namespace {

std::vector<VoiceInfo> table() {
    std::vector<VoiceInfo> voices;
    for (const SpeakerInfo& s : speakers)
        voices.push_back({s.speaker_name, utf16_to_utf8(s.display_name), s.lang});
    return voices;
}

TEST(VoiceSettings, CurvesFromMinus100To100) {
    EXPECT_FLOAT_EQ(speed_factor(0), 1.0f);
    EXPECT_FLOAT_EQ(speed_factor(100), 3.0f);
    EXPECT_FLOAT_EQ(speed_factor(-100), 0.5f);
    EXPECT_FLOAT_EQ(speed_factor(500), 3.0f);
    EXPECT_LT(speed_factor(20), speed_factor(21));
    EXPECT_FLOAT_EQ(pitch_factor(0), 1.0f);
    EXPECT_NEAR(pitch_factor(100) * pitch_factor(-100), 1.0f, 1e-6);
    EXPECT_FLOAT_EQ(volume_gain(0), 1.0f);
    EXPECT_FLOAT_EQ(volume_gain(100), 2.0f);
    EXPECT_FLOAT_EQ(volume_gain(-100), 0.0f);
}

TEST(VoiceSettings, SetLinesAndTheVoiceTheyChoose) {
    const std::vector<VoiceInfo> voices = table();
    const struct {
        std::vector<std::pair<const char*, const char*>> set;
        int voice;
        float pitch;
    } kCases[] = {
        {{{"voice", "male1"}, {"language", "c"}, {"synthesis_voice", "NULL"}}, 20, 1.0f},
        {{{"voice", "female1"}, {"language", "ru"}}, 21, 1.0f},
        {{{"voice", "female2"}, {"language", "ru-RU"}}, 22, 1.0f},
        {{{"voice", "male2"}, {"language", "rus"}}, 26, 1.0f},
        {{{"voice", "male1"}, {"language", "kk"}}, 14, 1.0f},
        {{{"voice", "female1"}, {"language", "kk_KZ"}}, 13, 1.0f},
        {{{"voice", "female2"}, {"language", "kk"}}, 13, 1.0f},
        {{{"voice", "male1"}, {"language", "hy"}}, 11, 1.0f},
        {{{"voice", "child_female"}, {"language", "uk"}}, 55, 1.3f},
        {{{"voice", "male1"}, {"language", "en"}}, 20, 1.0f},
        {{{"synthesis_voice", "TAT_RUSTEM"}, {"language", "ru"}}, 51, 1.0f},
        {{{"synthesis_voice", "Zarina (Tajik)"}}, 53, 1.0f},
        {{{"synthesis_voice", "bleaaaarg"}, {"language", "be"}}, 7, 1.0f},
    };
    for (const auto& c : kCases) {
        VoiceSettings s;
        for (const auto& [name, value] : c.set) EXPECT_TRUE(apply_setting(s, name, value));
        const VoiceChoice choice = choose_voice(voices, s, 20);
        EXPECT_EQ(choice.voice, c.voice) << c.set.back().first << "=" << c.set.back().second;
        EXPECT_FLOAT_EQ(choice.pitch, c.pitch);
    }

    VoiceSettings s;
    EXPECT_TRUE(apply_setting(s, "rate", "150"));
    EXPECT_EQ(s.rate, 100);
    EXPECT_FALSE(apply_setting(s, "rate", "fast"));
    EXPECT_EQ(s.rate, 100);
    EXPECT_TRUE(apply_setting(s, "punctuation_mode", "most"));
    EXPECT_TRUE(apply_setting(s, "spelling_mode", "on"));
    EXPECT_TRUE(apply_setting(s, "cap_let_recogn", "icon"));
    EXPECT_FALSE(apply_setting(s, "voice", "robot"));
    EXPECT_TRUE(apply_setting(s, "pitch_range", "50"));
    EXPECT_TRUE(s.reading.punctuation == Punctuation::Most && s.reading.spelling &&
                s.reading.capitals == Capitals::Icon);
}

TEST(VoiceSettings, ListsEveryVoiceWithItsLanguage) {
    const std::vector<VoiceInfo> voices = table();
    const std::vector<std::string> lines = voice_list(voices);
    ASSERT_EQ(lines.size(), 60u);
    EXPECT_EQ(lines[0], "aze_aysel\taz\tnone");
    EXPECT_EQ(lines[20], "ru_azat\tru\tnone");
    for (const auto& [index, code] : std::vector<std::pair<int, const char*>>{
             {6, "be"}, {9, "cv"}, {10, "myv"}, {11, "hy"}, {12, "ka"}, {13, "kk"},
             {15, "kbd"}, {16, "ky"}, {50, "tt"}, {52, "tg"}, {55, "uk"}, {57, "uz"}}) {
        EXPECT_EQ(language_code(voices[index].language), code);
        // Every listed code chooses a voice of that language.
        EXPECT_EQ(iso639_3(code), voices[index].language);
    }
    EXPECT_EQ(iso639_3("en-US"), "");
}

}  // namespace
}  // namespace zelvan_tts::speechd
