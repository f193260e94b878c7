#include "accentor/stress_marks.h"

#include "shared/symbols/code_points.h"

#include <gtest/gtest.h>

#include <random>

namespace zelvan_tts {
namespace {

struct Piece {
    std::string text;
    std::string clean;
    bool is_word;
};

std::vector<Piece> pieces(std::string_view text) {
    std::vector<Piece> out;
    for (const TokenRecord& r : split_words(text)) out.push_back({r.text, r.clean, r.is_word});
    return out;
}

bool operator==(const Piece& a, const Piece& b) {
    return a.text == b.text && a.clean == b.clean && a.is_word == b.is_word;
}

std::ostream& operator<<(std::ostream& os, const Piece& p) {
    return os << "{\"" << p.text << "\", \"" << p.clean << "\", " << p.is_word << "}";
}

TEST(SplitWords, CutsAtAsciiWhiteSpaceAndHyphens) {
    const struct {
        std::string text;
        std::vector<Piece> expected;
    } cases[] = {
        {"молоко  дом\tкто-то\r\n",
         {{"молоко", "молоко", true},
          {"  ", "", false},
          {"дом", "дом", true},
          {"\t", "", false},
          {"кто", "кто", true},
          {"-", "", false},
          {"то", "то", false},
          {"\r\n", "", false}}},
        // The particle rule needs a cut piece, and "то" as its last part.
        {"то", {{"то", "то", true}}},
        {"то-", {{"то", "то", true}, {"-", "", false}}},
        {"-то", {{"-", "", false}, {"то", "то", false}}},
        {"кто-ТО!", {{"кто", "кто", true}, {"-", "", false}, {"ТО!", "то", false}}},
        {"то-то-это",
         {{"то", "то", true},
          {"-", "", false},
          {"то", "то", true},
          {"-", "", false},
          {"это", "это", true}}},
        {"a--b", {{"a", "", false}, {"-", "", false}, {"-", "", false}, {"b", "", false}}},
        // Punctuation, Latin letters and digits stay in the piece, out of the word.
        {"«Молоко»,", {{"«Молоко»,", "молоко", true}}},
        {"2024 OK", {{"2024", "", false}, {" ", "", false}, {"OK", "", false}}},
        {"ЁЛКА ЇЖАК Ўсё",
         {{"ЁЛКА", "ёлка", true},
          {" ", "", false},
          {"ЇЖАК", "їжак", true},
          {" ", "", false},
          {"Ўсё", "ўсё", true}}},
        // No-break space and malformed bytes do not cut a piece.
        {"дом\u00A0кот", {{"дом\u00A0кот", "домкот", true}}},
        {"мо\xFFло\xD0ко", {{"мо\xFFло\xD0ко", "молоко", true}}},
        {"\v\f", {{"\v\f", "", false}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pieces(c.text), c.expected) << c.text;
    }
}

TEST(VowelSets, LanguagesAndTheRussianDefault) {
    for (const char* lang : {"ru", "by", "ua"}) {
        const VowelSets sets = vowel_sets(lang);
        EXPECT_EQ(utf8_to_utf32(sets.lower).size(), 10u) << lang;
        EXPECT_EQ(utf32_to_utf8(fold_case_string(utf8_to_utf32(sets.upper))), sets.lower) << lang;
    }
    EXPECT_EQ(vowel_sets("xx").lower, vowel_sets("ru").lower);
    EXPECT_EQ(vowel_sets("").upper, vowel_sets("ru").upper);
    EXPECT_EQ(accentor_language("rus"), "ru");
    EXPECT_EQ(accentor_language("bel"), "by");
    EXPECT_EQ(accentor_language("ukr"), "ua");
    EXPECT_EQ(accentor_language("kaz"), "");
    EXPECT_EQ(accentor_language("ru"), "");
}

TEST(VowelPositions, PerLanguageAndYeForRussianOnly) {
    const struct {
        std::string lang;
        std::string clean;
        std::vector<int> vowels;
        std::vector<int> ye;
    } cases[] = {
        {"ru", "береза", {1, 3, 5}, {1, 3}},
        {"ru", "ёлка", {0, 3}, {}},
        {"ru", "їжак", {2}, {}},
        {"ru", "вдрызг", {3}, {}},
        {"ru", "смс", {}, {}},
        {"ru", "ДОМ", {1}, {}},  // the capitals count too
        {"by", "береза", {1, 3, 5}, {}},
        {"by", "іры", {0, 2}, {}},
        {"ua", "їжак", {0, 2}, {}},
        {"ua", "єдність", {0, 3}, {}},
        {"ua", "ы", {}, {}},
    };
    for (const auto& c : cases) {
        const VowelSets sets = vowel_sets(c.lang);
        VowelPositions got{{99}, {99}};  // filled afresh
        vowel_positions(c.clean, vowel_lookup(sets.lower, sets.upper, c.lang == "ru"), got);
        EXPECT_EQ(got.vowels, c.vowels) << c.lang << " " << c.clean;
        EXPECT_EQ(got.ye, c.ye) << c.lang << " " << c.clean;
    }
}

TEST(StressMarks, MarkAndYoTouchOnlyTheirLetter) {
    const struct {
        std::string text;
        long long index;
        std::string marked;
        std::string yo;
    } cases[] = {
        {"молоко", 5, "молок+о", "молоко"},
        {"МОЛОКО", 5, "МОЛОК+О", "МОЛОКО"},
        {"«молоко»,", 0, "«+молоко»,", "«молоко»,"},
        {"береза", 3, "бер+еза", "берёза"},
        {"БЕРЕЗА", 1, "Б+ЕРЕЗА", "БЁРЕЗА"},
        {"Ok-береза", 3, "Ok-бер+еза", "Ok-берёза"},
        // Bytes the decoder cannot use stay as they are; so does a real U+FFFD.
        {"мо\xFFлоко", 2, "мо\xFF+локо", "мо\xFFлоко"},
        {"\xE0\xD0\xB5", 0, "\xE0+\xD0\xB5", "\xE0\xD1\x91"},
        {"x\xEF\xBF\xBDе", 0, "x\xEF\xBF\xBD+е", "x\xEF\xBF\xBDё"},
        {"\xD0е\xF0\x9F\x98\x80е", 1, "\xD0е\xF0\x9F\x98\x80+е", "\xD0е\xF0\x9F\x98\x80ё"},
        // No such letter: nothing changes.
        {"молоко", 6, "молоко", "молоко"},
        {"молоко", -1, "молоко", "молоко"},
        {"2024", 0, "2024", "2024"},
        {"", 0, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(insert_stress_mark(c.text, c.index), c.marked) << c.text << " @" << c.index;
        EXPECT_EQ(set_yo(c.text, c.index), c.yo) << c.text << " @" << c.index;
    }
}

// Whatever the bytes, the letters of a clean form are those the decoder finds
// in the piece, and the i-th Cyrillic letter found in the piece is the i-th
// letter of its clean form: the mark never lands on another letter.
TEST(StressMarks, LettersAgreeWithTheDecoderOnArbitraryBytes) {
    std::mt19937 rng(20240611);
    const std::string alphabet[] = {"а",
                                    "Е",
                                    "ё",
                                    "ӿ",
                                    "Ѐ",
                                    "z",
                                    "\xEF\xBF\xBD",
                                    "\xFF",
                                    "\x80",
                                    "\xBF",
                                    "\xD0",
                                    "\xD3",
                                    "\xD4\x80",
                                    "\xC2",
                                    "\xE0\xA0",
                                    "\xD1\x80",
                                    "\xE2\x82",
                                    "\xF0\x9F\x98\x80",
                                    "-",
                                    " "};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = static_cast<int>(rng() % 12);
        for (int i = 0; i < length; ++i) text += alphabet[rng() % std::size(alphabet)];

        for (const TokenRecord& record : split_words(text)) {
            std::u32string letters;
            for (char32_t cp : utf8_to_utf32(record.text)) {
                if (cp >= 0x400 && cp <= 0x4FF) letters.push_back(cp);
            }
            if (record.text != "-") {
                ASSERT_EQ(record.clean, utf32_to_utf8(fold_case_string(letters))) << text;
            }
            for (std::size_t i = 0; i < letters.size(); ++i) {
                const std::size_t offset =
                    cyrillic_letter_offset(record.text, static_cast<long long>(i));
                ASSERT_NE(offset, std::string::npos);
                const std::u32string here =
                    utf8_to_utf32(std::string_view(record.text).substr(offset, 2));
                ASSERT_EQ(here, std::u32string(1, letters[i])) << "letter " << i << " of " << text;
            }
            EXPECT_EQ(cyrillic_letter_offset(record.text, static_cast<long long>(letters.size())),
                      std::string::npos);
        }
    }
}

}  // namespace
}  // namespace zelvan_tts
