#include "shared/symbols/languages.h"

#include "shared/symbols/speakers.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zelvan_tts {
namespace {

TEST(LanguageProfiles, OneRowPerVoiceLanguageAndThePlainProfileForOthers) {
    std::set<std::string> voiced;
    for (const SpeakerInfo& speaker : speakers) voiced.insert(speaker.lang);
    std::set<std::string> profiled;
    for (const LanguageProfile& profile : language_profiles) profiled.insert(profile.iso639_3);
    EXPECT_EQ(profiled, voiced);
    EXPECT_EQ(profiled.size(), kLanguageCount);

    EXPECT_STREQ(language_profile("bel").accentor, "by");
    EXPECT_TRUE(language_profile("rus").homographs);
    EXPECT_FALSE(language_profile("ukr").homographs);
    EXPECT_TRUE(language_profile("ukr").stress_lines);
    EXPECT_EQ(language_profile("kat").numbers, NumberReader::Georgian);
    EXPECT_EQ(language_profile("uzb").script, ScriptTable::Uzbek);
    EXPECT_STREQ(language_profile("myv").voice_key, "erz");

    for (const char* other : {"", "eng", "ru", "RUS"}) {
        const LanguageProfile& plain = language_profile(other);
        EXPECT_FALSE(is_voice_language(other)) << other;
        EXPECT_EQ(plain.numbers, NumberReader::Russian);
        EXPECT_EQ(plain.script, ScriptTable::None);
        EXPECT_STREQ(plain.accentor, "");
        EXPECT_FALSE(plain.homographs || plain.stress_lines);
    }
}

}  // namespace
}  // namespace zelvan_tts
