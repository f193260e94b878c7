#include "homosolver/homograph_text.h"

#include <gtest/gtest.h>

namespace zelvan_tts {
namespace {

TEST(FindHomographs, CyrillicRunsThatFoldToAKey) {
    const HomographDictionary dict{
        {"замок", {"з+амок", "зам+ок"}}, {"кто", {}}, {"то", {}}, {"ёлка", {}}};
    struct Found {
        std::size_t start, end;
        std::string word, key;
        bool operator==(const Found& o) const {
            return start == o.start && end == o.end && word == o.word && key == o.key;
        }
    };
    const struct {
        std::string text;
        std::vector<Found> found;
    } cases[] = {
        {"Замок открыт", {{0, 10, "Замок", "замок"}}},
        {"ЗАМОК", {{0, 10, "ЗАМОК", "замок"}}},
        {"кто-то", {{0, 6, "кто", "кто"}, {7, 11, "то", "то"}}},
        {"Ёлка", {{0, 8, "Ёлка", "ёлка"}}},
        {"замок—замок", {{0, 10, "замок", "замок"}, {13, 23, "замок", "замок"}}},
        {"zзамок1", {{1, 11, "замок", "замок"}}},
        // Offsets are those of the bytes: a bad byte counts one, U+FFFD three.
        {"\xFF\xFEзамок", {{2, 12, "замок", "замок"}}},
        {"\xEF\xBF\xBDзамок", {{3, 13, "замок", "замок"}}},
        {"\xD0замок", {{1, 11, "замок", "замок"}}},  // a cut-off sequence before the word
        // Already marked words and longer runs are not keys.
        {"зам+ок", {}},
        {"+замок", {}},
        {"замок+", {}},
        {"ззамок замки", {}},
        {"+++ 123", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        std::vector<Found> found;
        for (const auto& o : find_homographs(c.text, dict)) {
            found.push_back({o.start, o.end, o.word, o.key});
        }
        EXPECT_TRUE(found == c.found) << c.text << ": " << found.size() << " found";
    }
}

TEST(MarkHomograph, WrapsTheWordInSpacedMarkers) {
    const HomographDictionary dict{{"замок", {}}};
    const std::string text = "Я вижу замок.";
    const auto found = find_homographs(text, dict);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(mark_homograph(text, found[0]), "Я вижу  [HOMO] замок [/HOMO] .");
}

TEST(CasedVariant, CarriesTheLetterCaseOfTheText) {
    const struct {
        std::string word, variant, expected;
    } cases[] = {
        {"замок", "зам+ок", "зам+ок"},
        {"Замок", "зам+ок", "Зам+ок"},
        {"Замок", "з+амок", "З+амок"},
        {"ЗАМОК", "зам+ок", "ЗАМ+ОК"},
        {"зАмОк", "з+амок", "з+АмОк"},
        // One vowel: the mark goes, the ё stays.
        {"все", "вс+ё", "всё"},
        {"ВСЕ", "вс+ё", "ВСЁ"},
        {"Все", "вс+е", "Все"},
        // The mark applies before the last "+"; a trailing one ends the word.
        {"замок", "з+ам+ок", "зам+ок"},
        {"замок", "замо+к", "замо+к"},
        {"мука", "мука+", "мука+"},
        {"мука", "мука", "мука"},
        // A variant longer than the word: the extra letters are small.
        {"КОТ", "кот+ик", "КОТ+ик"},
        // Capitals in the variant fold where the text has small letters.
        {"замок", "ЗАМ+ОК", "зам+ок"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cased_variant(c.word, c.variant), c.expected) << c.word << " " << c.variant;
    }
}

}  // namespace
}  // namespace zelvan_tts
