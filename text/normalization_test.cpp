#include "text/normalization.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace zelvan_tts {
namespace {

struct Case {
    std::string lang;
    std::string text;
    std::string expected;
};

TEST(NormalizeNumbersTest, ReplacesEveryDigitRunInPlace) {
    const std::vector<Case> cases = {
        {"rus", "", ""},
        {"rus", "Без чисел, - и всё.", "Без чисел, - и всё."},
        {"rus", "В 2024 году", "В две тысячи двадцать четыре году"},
        {"bak", "5", "пять"},
        {"tat", "5", "пять"},
        {"", "5", "пять"},
        {"kat", "5 ვაშლი", "ხუთი ვაშლი"},
        {"kat", "-20", "მინუს ოცი"},
        {"rus", "-5", "минус пять"},
        {"rus", "5-", "пять-"},
        {"rus", "--5", "-минус пять"},
        {"rus", "10-20", "десятьминус двадцать"},
        {"rus", "x2", "xдва"},
        {"rus", "3.14", "три.четырнадцать"},
        {"rus", "1 000", "один ноль"},
        {"rus", "01.02", "один.два"},
        {"rus", "№7, 8", "№семь, восемь"},
        {"rus", "-", "-"},
        {"rus", "a-", "a-"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(normalize_numbers(c.text, c.lang), c.expected) << c.lang << ": " << c.text;
    }
}

TEST(NormalizeNumbersTest, OnlyExactlyKatSelectsGeorgian) {
    for (const std::string& lang :
         std::vector<std::string>{"KAT", "kat ", "ka", "geo", std::string("kat\0", 4)}) {
        EXPECT_EQ(normalize_numbers("1", lang), "один") << lang;
    }
    EXPECT_EQ(normalize_numbers("1", "kat"), "ერთი");
}

TEST(NormalizeNumbersTest, KeepsNumbersTheConverterCannotRead) {
    const std::string digits67 = "1" + std::string(66, '0');
    const std::string digits66 = "1" + std::string(65, '0');
    EXPECT_EQ(normalize_numbers("а " + digits67 + " б", "rus"), "а " + digits67 + " б");
    EXPECT_EQ(normalize_numbers("а " + digits66 + " б", "rus"), "а сто вигинтиллионов б");
    EXPECT_EQ(normalize_numbers("9223372036854775808!", "kat"), "9223372036854775808!");
}

TEST(NormalizeNumbersTest, PassesMalformedUtf8ThroughByteForByte) {
    const std::vector<Case> cases = {
        {"rus", "\xD0", "\xD0"},
        {"rus",
         "\xD0"
         "5",
         "\xD0пять"},
        {"rus",
         "\xE2\x80"
         "1",
         "\xE2\x80один"},
        {"rus", "\xFF-1\xC0", "\xFFминус один\xC0"},
        {"kat",
         "\x80\x80"
         "2",
         "\x80\x80ორი"},
        {"rus",
         std::string("1\0"
                     "2",
                     3),
         std::string("один\0два", 15)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(normalize_numbers(c.text, c.lang), c.expected);
    }
}

TEST(NormalizeNumbersTest, HandlesHugeRuns) {
    const std::string digits(1000000, '4');
    EXPECT_EQ(normalize_numbers(digits, "rus"), digits);
    EXPECT_EQ(normalize_numbers("-" + digits, "kat"), "-" + digits);
    const std::string dashes(1000000, '-');
    EXPECT_EQ(normalize_numbers(dashes, "rus"), dashes);
    EXPECT_EQ(normalize_numbers(dashes + "1", "rus"), std::string(999999, '-') + "минус один");
    const std::string zeros(1000000, '0');
    EXPECT_EQ(normalize_numbers(zeros, "rus"), "ноль");
}

// The ASCII bytes that are neither digits, signs nor blanks, in order.
std::string plain_ascii(const std::string& text) {
    std::string kept;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80 && c != '-' && c != ' ' && (c < '0' || c > '9')) kept += c;
    }
    return kept;
}

// On arbitrary bytes with short digit runs every digit is read out, and the
// ASCII around the numbers survives in order (number words add only letters
// beyond ASCII and blanks).
TEST(NormalizeNumbersTest, RandomBytesKeepEverythingButNumbers) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(0, 64);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            const bool digit = byte(random) % 3 == 0;
            text += static_cast<char>(digit ? '0' + byte(random) % 10 : byte(random));
        }
        for (const char* lang : {"rus", "kat"}) {
            const std::string out = normalize_numbers(text, lang);
            EXPECT_EQ(out.find_first_of("0123456789"), std::string::npos) << text;
            EXPECT_EQ(plain_ascii(out), plain_ascii(text)) << text;
        }
    }
}

}  // namespace
}  // namespace zelvan_tts
