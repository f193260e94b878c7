#include "shared/symbols/speakers.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>

namespace zelvan_tts {
namespace {

std::string ascii(const char16_t* wide) {
    std::string out;
    for (; *wide; ++wide) out.push_back(*wide < 0x80 ? static_cast<char>(*wide) : '?');
    return out;
}

std::string name_part(const SpeakerInfo& s) {
    const std::string key = s.speaker_name;
    return key.substr(key.find('_') + 1);
}

// "aigul2" -> "Aigul 2": first letter upper, a trailing digit set off by a blank.
std::string shown_name(std::string name) {
    name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    if (std::isdigit(static_cast<unsigned char>(name.back()))) name.insert(name.size() - 1, " ");
    return name;
}

TEST(Speakers, RowsKeepTheTableInvariants) {
    const std::map<std::string, std::string> language_names = {
        {"aze", "Azerbaijani"}, {"bak", "Bashkir"},   {"bel", "Belarusian"}, {"chv", "Chuvash"},
        {"myv", "Erzya"},       {"hye", "Armenian"},  {"kat", "Georgian"},   {"kaz", "Kazakh"},
        {"kbd", "Kabardian"},   {"kir", "Kyrgyz"},    {"kjh", "Khakas"},     {"mdf", "Moksha"},
        {"rus", "Russian"},     {"sah", "Sakha"},     {"tat", "Tatar"},      {"tgk", "Tajik"},
        {"udm", "Udmurt"},      {"ukr", "Ukrainian"}, {"uzb", "Uzbek"},      {"xal", "Kalmyk"},
    };
    std::set<std::string> keys;
    for (std::size_t i = 0; i < speakers.size(); ++i) {
        const SpeakerInfo& s = speakers[i];
        SCOPED_TRACE(s.speaker_name);
        EXPECT_EQ(s.model_speaker_id, static_cast<std::int32_t>(i));
        EXPECT_TRUE(keys.insert(s.speaker_name).second) << "duplicate key";

        const std::string key = s.speaker_name;
        const std::string prefix = key.substr(0, key.find('_'));
        const std::string expected_prefix =
            (i >= 20 && i <= 48) ? "ru" : (i == 10 ? "erz" : std::string(s.lang));
        EXPECT_EQ(prefix, expected_prefix);
        EXPECT_EQ(std::string(s.lang) == "rus", i >= 20 && i <= 48);

        const std::string name = name_part(s);
        ASSERT_FALSE(name.empty());
        for (std::size_t k = 0; k < name.size(); ++k) {
            const bool trailing_digit = k + 1 == name.size() && name[k] == '2';
            EXPECT_TRUE(std::islower(static_cast<unsigned char>(name[k])) || trailing_digit)
                << name;
        }
        EXPECT_EQ(name.back() == '2', i == 3 || i == 24);

        ASSERT_EQ(language_names.count(s.lang), 1u) << s.lang;
        EXPECT_EQ(ascii(s.display_name), shown_name(name) + " (" + language_names.at(s.lang) + ")");
    }
}

TEST(Speakers, TwinsShareTheirGivenName) {
    const std::pair<int, int> twins[] = {
        {0, 29},  {1, 20},  {2, 23},  {3, 24},  {4, 35},  {5, 39},  {7, 26},  {9, 28},
        {10, 22}, {11, 45}, {12, 44}, {13, 46}, {14, 47}, {15, 27}, {16, 36}, {17, 31},
        {18, 43}, {19, 37}, {21, 50}, {25, 54}, {30, 55}, {32, 58}, {33, 59}, {34, 51},
        {38, 52}, {40, 56}, {41, 53}, {42, 57}, {48, 49},
    };
    std::multiset<std::string> names;
    for (const SpeakerInfo& s : speakers) names.insert(name_part(s));
    for (const auto& [a, b] : twins) {
        EXPECT_EQ(name_part(speakers[a]), name_part(speakers[b])) << a << " and " << b;
        EXPECT_EQ(names.count(name_part(speakers[a])), 2u) << a;
    }
    EXPECT_EQ(names.count(name_part(speakers[6])), 1u);
    EXPECT_EQ(names.count(name_part(speakers[8])), 1u);
}

TEST(Speakers, LanguageIdentifiers) {
    const std::map<std::string, std::uint16_t> lcids = {
        {"aze", 0x042C}, {"bak", 0x046D}, {"bel", 0x0423}, {"hye", 0x042B},
        {"kat", 0x0437}, {"kaz", 0x043F}, {"kir", 0x0440}, {"sah", 0x0485},
        {"tat", 0x0444}, {"tgk", 0x0428}, {"ukr", 0x0422}, {"uzb", 0x0443},
    };
    for (const SpeakerInfo& s : speakers) {
        const auto it = lcids.find(s.lang);
        EXPECT_EQ(s.lcid, it == lcids.end() ? 0x0419 : it->second) << s.speaker_name;
    }
}

}  // namespace
}  // namespace zelvan_tts
