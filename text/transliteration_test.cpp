#include "text/transliteration.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "shared/symbols/code_points.h"
#include "shared/symbols/symbols.h"

namespace zelvan_tts {
namespace {

struct Case {
    std::string lang;
    std::string text;
    std::string expected;
};

std::set<char32_t> key_code_points(const CharMap& table) {
    std::set<char32_t> keys;
    for (const TranslitEntry& entry : table.entries()) {
        const std::u32string decoded = utf8_to_utf32(entry.key);
        EXPECT_EQ(decoded.size(), 1u) << entry.key;
        keys.insert(decoded.empty() ? 0 : decoded[0]);
    }
    return keys;
}

std::set<char32_t> range(char32_t first, char32_t last) {
    std::set<char32_t> out;
    for (char32_t cp = first; cp <= last; ++cp) out.insert(cp);
    return out;
}

// The Cyrillic capital of a small letter; other code points stay.
char32_t cyrillic_capital(char32_t cp) {
    if (cp >= 0x0430 && cp <= 0x044F) return cp - 0x20;
    if (cp >= 0x0450 && cp <= 0x045F) return cp - 0x50;
    if (cp >= 0x0460 && cp <= 0x04FF && cp % 2 == 1) return cp - 1;
    return cp;
}

// A small letter's value with its first letter (or, for all-capital keys,
// every letter) made a capital.
std::string capitalised(std::string_view value, bool every_letter) {
    std::u32string letters = utf8_to_utf32(value);
    for (std::size_t i = 0; i < letters.size() && (i == 0 || every_letter); ++i) {
        letters[i] = cyrillic_capital(letters[i]);
    }
    return utf32_to_utf8(letters);
}

TEST(TransliterationTablesTest, HoldTheirKeys) {
    EXPECT_EQ(georgian_letters().size(), 38u);
    EXPECT_EQ(key_code_points(georgian_letters()), range(0x10D0, 0x10F5));

    EXPECT_EQ(armenian_letters().size(), 77u);
    std::set<char32_t> armenian = range(0x0531, 0x0556);
    armenian.merge(range(0x0561, 0x0587));
    EXPECT_EQ(key_code_points(armenian_letters()), armenian);

    EXPECT_EQ(azerbaijani_letters().size(), 64u);
    std::set<char32_t> azerbaijani;
    for (char c = 'A'; c <= 'Z'; ++c) {
        if (c != 'W') azerbaijani.insert({char32_t(c), char32_t(c + 32)});
    }
    azerbaijani.insert({0xC7, 0xE7, 0x18F, 0x259, 0x11E, 0x11F, 0xD6, 0xF6, 0x15E, 0x15F, 0xDC,
                        0xFC, 0x130, 0x131});
    EXPECT_EQ(key_code_points(azerbaijani_letters()), azerbaijani);

    EXPECT_EQ(uzbek_letters().size(), 48u);
    std::set<char32_t> uzbek;
    for (char c = 'A'; c <= 'Z'; ++c) {
        if (c != 'C' && c != 'W') uzbek.insert({char32_t(c), char32_t(c + 32)});
    }
    EXPECT_EQ(key_code_points(uzbek_letters()), uzbek);

    EXPECT_EQ(latin_letters().size(), 52u);
    std::set<char32_t> latin = range('A', 'Z');
    latin.merge(range('a', 'z'));
    EXPECT_EQ(key_code_points(latin_letters()), latin);

    EXPECT_EQ(uzbek_multi_keys().size(), 14u);
    EXPECT_EQ(latin_multi_keys().size(), 35u);
}

TEST(TransliterationTablesTest, SampleRows) {
    const std::vector<std::pair<const CharMap*, std::pair<std::string, std::string>>> rows = {
        {&georgian_letters(), {"ა", "а"}},    {&georgian_letters(), {"კ", "к'"}},
        {&georgian_letters(), {"ყ", "ҡ'"}},   {&georgian_letters(), {"ჴ", "ҡ"}},
        {&georgian_letters(), {"ჳ", "уиэ"}},  {&georgian_letters(), {"ჰ", "h"}},
        {&georgian_letters(), {"წ", "ць"}},   {&georgian_letters(), {"ჵ", "оо"}},
        {&azerbaijani_letters(), {"C", "Ҹ"}}, {&azerbaijani_letters(), {"g", "ҝ"}},
        {&azerbaijani_letters(), {"Q", "Г"}}, {&azerbaijani_letters(), {"Y", "Ј"}},
        {&azerbaijani_letters(), {"ə", "ә"}}, {&azerbaijani_letters(), {"I", "Ы"}},
        {&azerbaijani_letters(), {"ı", "ы"}}, {&azerbaijani_letters(), {"İ", "И"}},
        {&azerbaijani_letters(), {"i", "и"}}, {&azerbaijani_letters(), {"Ü", "Ү"}},
        {&armenian_letters(), {"Ե", "Ев"}},   {&armenian_letters(), {"ջ", "дж"}},
        {&armenian_letters(), {"Ձ", "Дз"}},   {&armenian_letters(), {"ղ", "х"}},
        {&armenian_letters(), {"ը", "ы"}},    {&armenian_letters(), {"և", "ев"}},
        {&armenian_letters(), {"Պ", "П"}},    {&armenian_letters(), {"պ", "п"}},
        {&uzbek_letters(), {"E", "Э"}},       {&uzbek_letters(), {"h", "ҳ"}},
        {&uzbek_letters(), {"Q", "Қ"}},       {&uzbek_letters(), {"y", "й"}},
        {&latin_letters(), {"C", "Ц"}},       {&latin_letters(), {"J", "Й"}},
        {&latin_letters(), {"Q", "К"}},       {&latin_letters(), {"w", "в"}},
        {&latin_letters(), {"X", "КС"}},      {&latin_letters(), {"y", "ы"}},
    };
    for (const auto& [table, row] : rows) {
        EXPECT_EQ(table->find(row.first), row.second) << row.first;
    }
    EXPECT_EQ(latin_letters().find("1"), "");
    EXPECT_EQ(georgian_letters().find("ა "), "");  // two characters are no key
}

// Capital keys give the capital of their small letter's value.
TEST(TransliterationTablesTest, CapitalsMatchTheirSmallLetters) {
    std::vector<std::pair<std::string, std::string>> pairs;  // capital, small key
    for (char c = 'A'; c <= 'Z'; ++c) pairs.push_back({std::string(1, c), std::string(1, c + 32)});
    for (const CharMap* table : {&latin_letters(), &uzbek_letters(), &azerbaijani_letters()}) {
        for (const auto& [capital, small] : pairs) {
            if (small == "i" && table == &azerbaijani_letters()) continue;  // two i letters
            EXPECT_EQ(table->find(capital), capitalised(table->find(small), true)) << capital;
        }
    }
    for (const auto& [capital, small] :
         std::vector<std::pair<std::string, std::string>>{{"Ç", "ç"},
                                                          {"Ə", "ə"},
                                                          {"Ğ", "ğ"},
                                                          {"Ö", "ö"},
                                                          {"Ş", "ş"},
                                                          {"Ü", "ü"},
                                                          {"İ", "i"},
                                                          {"I", "ı"}}) {
        EXPECT_EQ(azerbaijani_letters().find(capital),
                  capitalised(azerbaijani_letters().find(small), true))
            << capital;
    }
    for (char32_t capital = 0x0531; capital <= 0x0556; ++capital) {
        const std::string small_value = std::string(armenian_letters().find(capital + 0x30));
        EXPECT_EQ(armenian_letters().find(capital), capitalised(small_value, false))
            << std::hex << capital;
    }
}

TEST(TransliterationTablesTest, MultiKeysComeInThreeCases) {
    const std::vector<std::string> families = {"shch", "sch", "yo", "zh", "kh", "ts",
                                               "ch",   "sh",  "yu", "ya", "ye"};
    for (const std::string& small : families) {
        std::string upper = small;
        for (char& c : upper) c = static_cast<char>(c - 32);
        std::string capital = small;
        capital[0] = static_cast<char>(capital[0] - 32);
        const TranslitEntry* lower_entry = latin_multi_keys().match(small);
        ASSERT_NE(lower_entry, nullptr) << small;
        EXPECT_EQ(lower_entry->key, small);
        for (const std::string& key : {upper, capital}) {
            const TranslitEntry* entry = latin_multi_keys().match(key);
            ASSERT_NE(entry, nullptr) << key;
            EXPECT_EQ(entry->key, key);
            EXPECT_EQ(entry->value, capitalised(lower_entry->value, true)) << key;
        }
    }
    EXPECT_EQ(latin_multi_keys().match("'''")->value, "ъ");
    EXPECT_EQ(latin_multi_keys().match("'x")->value, "ь");
    EXPECT_EQ(latin_multi_keys().match("sHch"), nullptr);
    EXPECT_EQ(latin_multi_keys().match(""), nullptr);
    EXPECT_EQ(uzbek_multi_keys().match("NGa")->value, "НГ");
    EXPECT_EQ(uzbek_multi_keys().match("o'"), nullptr);
    EXPECT_EQ(uzbek_multi_keys().match("o\xCA"), nullptr);  // cut before the ʻ ends
}

TEST(TransliterateTest, RewritesEachScriptAndLatinLetters) {
    const std::vector<Case> cases = {
        {"rus", "Привет, мир! 'ой'", "Привет, мир! 'ой'"},
        {"rus", "Hello", "Хелло"},
        {"rus", "shchi", "щи"},
        {"rus", "Shchuka", "Щука"},
        {"rus", "SHCHUKA", "ЩУКА"},
        {"rus", "schastye", "щасте"},
        {"rus", "d''", "дъ"},
        {"rus", "d'", "дь"},
        {"rus", "x", "кс"},
        {"rus", "Xenia Yolkina", "КСениа Ёлкина"},
        {"rus", "Я читаю Zhurnal", "Я читаю Журнал"},
        {"kat", "კაცი", "к'аци"},
        {"kat", "ჰკითხა", "хкьитха"},
        {"kat", "ჳ ჵ", "уиэ оо"},
        {"hye", "Երևան", "Евреван"},
        {"hye", "Պետրոս", "Певтрос"},
        {"hye", "պապ", "пап"},
        {"aze", "İlham", "Илһам"},
        {"aze", "Işıq", "Ышыг"},
        {"aze", "Wow", "Вов"},  // not Azerbaijani keys, so the Latin table reads them
        {"uzb", "oʻzbek", "ўзбэк"},
        {"uzb", "Gʻ", "Ғ"},
        {"uzb", "shahar", "шаҳар"},
        {"uzb", "o'zbek", "оъзбэк"},
        {"uzb", "cw", "цв"},
        {"uzb", "SHAHAR", "ШАҲАР"},
        {"uzb", "Tong", "Тонг"},
        {"uzb", "ʻ", "ʻ"},
        {"rus", "ა", "ა"},  // no Georgian reading for a Russian voice
        {"kat", "Hi", "Хи"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(transliterate(c.text, c.lang), c.expected) << c.lang << ": " << c.text;
    }
}

TEST(TransliterateTest, HandlesBrokenUtf8) {
    const std::vector<Case> cases = {
        // A character cut by the end of the text is copied as far as it goes.
        {"kat", "ა\xE1\x83", "а\xE1\x83"},
        {"hye", "ա\xD5", "а\xD5"},
        {"rus", "ab\xD0", "аб\xD0"},
        // A broken sequence does not swallow the letters after it.
        {"rus",
         "\xE0"
         "ab",
         "\xE0"
         "аб"},
        {"kat",
         "\xE1"
         "ა",
         "\xE1"
         "а"},
        {"aze",
         "\xC3"
         "Ç",
         "\xC3"
         "Ч"},
        // Overlong and stray bytes are no keys: 0xC1 0x81 is not A.
        {"aze", "\xC1\x81", "\xC1\x81"},
        {"rus", "\x80\xBF\xFE\xFF", "\x80\xBF\xFE\xFF"},
        {"rus", std::string("a\0b", 3), std::string("а\0б", 5)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(transliterate(c.text, c.lang), c.expected) << c.lang;
    }
}

TEST(TransliterateTest, ApplyScriptMapWithoutMultiKeys) {
    EXPECT_EQ(apply_script_map("sh", uzbek_letters()), "сҳ");
    EXPECT_EQ(apply_script_map("sh", uzbek_letters(), &uzbek_multi_keys()), "ш");
    EXPECT_EQ(apply_latin_map("ша'"), "шаь");  // apostrophes count without a letter
}

// Whatever the bytes, no ASCII letter is left, and a Russian voice's text
// without ASCII letters comes back unchanged.
TEST(TransliterateTest, RandomBytesLeaveNoLatinLetters) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> length(0, 48);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::vector<std::string> pieces = {"ʻ", "'",        "sh",   "ა", "Ե",
                                             "Ç", "\xE1\x83", "\xD5", "h"};
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            if (byte(random) % 2 == 0) {
                text += pieces[piece(random)];
            } else {
                text += static_cast<char>(byte(random));
            }
        }
        for (const char* lang : {"rus", "kat", "aze", "hye", "uzb"}) {
            const std::string out = transliterate(text, lang);
            for (char c : out) {
                const auto b = static_cast<unsigned char>(c);
                ASSERT_FALSE((b | 0x20) >= 'a' && (b | 0x20) <= 'z') << lang << ": " << text;
            }
        }
        std::string no_letters;
        for (char c : text) {
            const auto b = static_cast<unsigned char>(c);
            if (!((b | 0x20) >= 'a' && (b | 0x20) <= 'z')) no_letters += c;
        }
        EXPECT_EQ(transliterate(no_letters, "rus"), no_letters);
    }
}

TEST(TransliterateTest, HandlesLongInputsInOnePass) {
    const std::string apostrophes(1000000, '\'');
    EXPECT_EQ(transliterate(apostrophes, "rus"), apostrophes);
    std::string hard_signs;
    for (int i = 0; i < 500000; ++i) hard_signs += "ъ";
    EXPECT_EQ(transliterate("a" + apostrophes, "rus"), "а" + hard_signs);
    EXPECT_EQ(transliterate(apostrophes, "uzb"), hard_signs + hard_signs);
}

// Capitals that only these scripts produce must reach the model as the
// letter, not be dropped by the encoder.
TEST(TransliterateTest, CapitalsOfOtherScriptsReachTheModel) {
    struct Case {
        const char* lang;
        std::string text;
        std::int64_t first_id;
    };
    const Case cases[] = {
        {"aze", "Yaxşı", 49},        // Ј
        {"uzb", "Oʻzbekiston", 50},  // Ў
        {"rus", "Іван", 47},         // І
        {"rus", "Європа", 46},       // Є
        {"rus", "Їжак", 48},         // Ї
        {"hye", "Պետրոս", 28},       // П
    };
    for (const Case& c : cases) {
        int unmapped = 0;
        const auto ids = encode_text(transliterate(c.text, c.lang), SymbolMap::instance(),
                                     [&](const std::string&, int count) { unmapped += count; });
        ASSERT_GE(ids.size(), 3u) << c.text;
        EXPECT_EQ(ids[1], c.first_id) << c.text;
        EXPECT_EQ(unmapped, 0) << c.text;
    }
}

}  // namespace
}  // namespace zelvan_tts
