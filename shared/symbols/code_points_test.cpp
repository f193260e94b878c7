#include "shared/symbols/code_points.h"

#include <gtest/gtest.h>

namespace zelvan_tts {
namespace {

TEST(Utf8ToUtf32, DecodesWellFormedAndReplacesEachBadByte) {
    struct Case {
        const char* name;
        std::string bytes;
        std::u32string expected;
    };
    const Case cases[] = {
        {"ascii", "Hi!", U"Hi!"},
        {"cyrillic", "Мир", U"Мир"},
        {"three and four bytes", "\u2014\xF0\x9F\x98\x80", U"\u2014\U0001F600"},
        {"lead then blank", "\xD0\x20", U"\uFFFD "},
        {"cut three-byte sequence", "a\xE2\x80", U"a\uFFFD\uFFFD"},
        {"stray continuation", "\x80z", U"\uFFFDz"},
        {"overlong two-byte", "\xC0\xAF", U"\uFFFD\uFFFD"},
        {"overlong three-byte", "\xE0\x80\xAF", U"\uFFFD\uFFFD\uFFFD"},
        {"surrogate", "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"lead F8..FF", "\xF8\xFF", U"\uFFFD\uFFFD"},
        {"bad byte resumes at next byte", "\xD0\xD0\xBC", U"\uFFFDм"},
        {"last BMP and last code point", "\xEF\xBF\xBF\xF4\x8F\xBF\xBF", U"\uFFFF\U0010FFFF"},
        {"embedded NUL", std::string("a\0b", 3), std::u32string(U"a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8_to_utf32(c.bytes), c.expected) << c.name;
    }
}

TEST(Utf8ToUtf32, RoundTripsThroughEncoder) {
    const std::u32string text = U"Zelvan ӏ Ёж \u2026 \U0001F600 ქ";
    EXPECT_EQ(utf8_to_utf32(utf32_to_utf8(text)), text);
    std::string out;
    append_utf8(out, 0x110000);  // not a code point
    EXPECT_EQ(out, "\xEF\xBF\xBD");
}

TEST(Utf16ToUtf8, PairsSurrogatesAndReplacesLoneOnes) {
    EXPECT_EQ(utf16_to_utf8(u"Aysel (Azerbaijani)"), "Aysel (Azerbaijani)");
    EXPECT_EQ(utf16_to_utf8(u"Ёж \U0001F600"), "Ёж \U0001F600");
    const char16_t lone_high[] = {u'a', 0xD83D, u'b', 0};
    EXPECT_EQ(utf16_to_utf8(lone_high), "a\uFFFDb");
    const char16_t lone_low_at_end[] = {0xDE00, 0};
    EXPECT_EQ(utf16_to_utf8(lone_low_at_end), "\uFFFD");
}

TEST(FoldCase, FoldsOnlyTheCapitalsTheAlphabetKnows) {
    const std::pair<char32_t, char32_t> cases[] = {
        {U'A', U'a'},     {U'Z', U'z'},     {U'H', U'h'},     {U'a', U'a'},     {U'@', U'@'},
        {U'[', U'['},     {U'А', U'а'},     {U'Я', U'я'},     {U'я', U'я'},     {U'Ё', U'ё'},
        {0x0400, 0x0450}, {U'Є', U'є'},     {U'І', U'і'},     {U'Ї', U'ї'},     {U'Ј', U'ј'},
        {U'Ў', U'ў'},     {0x040F, 0x045F}, {0x03FF, 0x03FF}, {0x0450, 0x0450}, {U'Ғ', U'ғ'},
        {U'ғ', U'ғ'},     {0x0460, 0x0461}, {0x04FE, 0x04FF}, {0x04FF, 0x04FF}, {0x0500, 0x0500},
        {0x04C0, 0x04C1}, {U'Ä', U'Ä'},     {U'Ա', U'Ա'},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(fold_case(in), out) << "U+" << std::hex << static_cast<unsigned>(in);
    }
    EXPECT_EQ(fold_case_string(U"МИР Hello ӘӨ"), U"мир hello әө");
}

TEST(Utf8CharLength, ReadsOnlyTheLeadByte) {
    const std::pair<unsigned char, std::size_t> cases[] = {
        {0x00, 1}, {0x7F, 1}, {0x80, 1}, {0xBF, 1}, {0xC0, 2}, {0xDF, 2},
        {0xE0, 3}, {0xEF, 3}, {0xF0, 4}, {0xF7, 4}, {0xF8, 1}, {0xFF, 1},
    };
    for (const auto& [lead, length] : cases) {
        EXPECT_EQ(utf8_char_length(lead), length) << static_cast<int>(lead);
    }
}

}  // namespace
}  // namespace zelvan_tts
