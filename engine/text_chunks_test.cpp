#include "engine/text_chunks.h"

#include <gtest/gtest.h>

namespace zelvan_tts {
namespace {

using Strings = std::vector<std::string>;

TEST(SplitSentences, EndsOnlyAtATerminatorFollowedByWhiteSpace) {
    struct Case {
        const char* name;
        std::string text;
        Strings sentences;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"only white space", " \n\t ", {}},
        {"two sentences", "Один. Два.", {"Один.", "Два."}},
        {"no blank after the stop", "Один.Два.", {"Один.Два."}},
        {"decimal point", "Pi is 3.14 here", {"Pi is 3.14 here"}},
        {"line feed and tab", "Да!\n\tНет?\tМожет", {"Да!", "Нет?", "Может"}},
        {"ellipsis and runs", "Так... Ну?! Да", {"Так...", "Ну?!", "Да"}},
        {"white space after split dropped", "А.   \n  Б", {"А.", "Б"}},
        {"leading white space stays", "  А. Б", {"  А.", "Б"}},
        {"trailing white space trimmed", "А  \t\n", {"А"}},
        {"carriage return is an ordinary byte", "А.\r\nБ", {"А.\r\nБ"}},
        {"space before the break", "А .Б. В", {"А .Б.", "В"}},
    };
    for (const Case& c : cases) EXPECT_EQ(split_sentences(c.text), c.sentences) << c.name;
}

std::string letters(std::size_t n, const std::string& letter = "я") {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += letter;
    return s;
}

TEST(SplitIntoChunks, CutsLongSentencesAtPunctuationByBytes) {
    // 250 code points with commas stay one chunk.
    const std::string exact = letters(100) + ", " + letters(146);  // 100 + 2 + 146 + 2
    ASSERT_EQ(exact.size(), 494u);
    EXPECT_EQ(split_into_chunks(exact + ".!", 250), Strings{exact + ".!"});

    // 251 code points: cut after the first comma that ends at least 250 bytes
    // after the start; Cyrillic letters are two bytes each.
    const std::string head = letters(60) + ", " + letters(80) + ",";  // 120 + 2 + 160 + 1 bytes
    const std::string tail = " " + letters(107);                      // 251 code points in all
    ASSERT_EQ(head.size() + tail.size(), 283u + 1 + 214);
    const Strings cut = split_into_chunks(head + tail, 250);
    EXPECT_EQ(cut, (Strings{head, tail}));

    // A long sentence without a cutting mark (and here without a blank) is
    // cut at the bound.
    const std::string no_marks = letters(400, "a");
    EXPECT_EQ(split_into_chunks(no_marks, 250), (Strings{letters(250, "a"), letters(150, "a")}));

    // Several cuts, ";" and ":" included; each piece keeps its mark.
    std::string many;
    Strings expected;
    for (const char* mark : {";", ":", ","}) {
        expected.push_back((expected.empty() ? "" : " ") + letters(250, "b") + mark);
        many += expected.back();
    }
    expected.push_back(" end");
    many += " end";
    EXPECT_EQ(split_into_chunks(many, 250), expected);

    // Sentences become chunks of their own.
    EXPECT_EQ(split_into_chunks("Один. Два.", 250), (Strings{"Один.", "Два."}));
    EXPECT_EQ(split_into_chunks("", 250), Strings{});
}

TEST(SplitIntoChunks, BoundsEveryPieceAndCutsWhereAReaderBreathes) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t max_chars;
        Strings chunks;
    };
    const Case cases[] = {
        {"fits: one chunk", "aaa bbb ccc.", 12, {"aaa bbb ccc."}},
        {"last blank before the bound", "aaa bbb ccc ddd", 10, {"aaa bbb", "ccc ddd"}},
        {"a mark in the second half first", "aaaa, bb c ddd", 10, {"aaaa,", "bb c ddd"}},
        {"a mark in the first half is no breath", "aa, bbb ccc dd", 10, {"aa, bbb", "ccc dd"}},
        {"a dash", "aaa bb \u2014 c ddd", 10, {"aaa bb \u2014", "c ddd"}},
        {"no blank: at the bound", "abcdefghijklmnopqrstuvwxy", 10,
         {"abcdefghij", "klmnopqrst", "uvwxy"}},
        {"code points, not bytes", "яяяяяяяяяяяя", 5, {"яяяяя", "яяяяя", "яя"}},
        {"blanks at a cut belong to neither", "aaaaa  \n  bbbbb ccc", 8,
         {"aaaaa", "bbbbb", "ccc"}},
        {"a word longer than the bound", "aa bbbbbbbbbbbb c", 5, {"aa", "bbbbb", "bbbbb", "bb c"}},
        {"sentences stay apart", "aaaa bbbb. cc dd", 5, {"aaaa", "bbbb.", "cc dd"}},
    };
    for (const Case& c : cases) EXPECT_EQ(split_into_chunks(c.text, c.max_chars), c.chunks) << c.name;
}

TEST(SplitIntoChunks, CountsMalformedBytesWithoutReadingPastTheEnd) {
    // A lead byte at the very end announces more bytes than there are: it
    // counts as one character, cut off at the bound like any other.
    const std::string text = "ab\xF0";
    EXPECT_EQ(split_into_chunks(text, 3), Strings{text});
    EXPECT_EQ(split_into_chunks(text, 2), (Strings{"ab", "\xF0"}));
    EXPECT_EQ(split_into_chunks(text, 1), (Strings{"a", "b", "\xF0"}));
}

}  // namespace
}  // namespace zelvan_tts
