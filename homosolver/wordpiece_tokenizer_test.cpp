#include "homosolver/wordpiece_tokenizer.h"

#include "homosolver/homosolver.h"

#include <gtest/gtest.h>

namespace zelvan_tts {
namespace {

using Pieces = std::vector<std::string>;

TEST(BasicTokenize, SplitsAtFourWhiteSpacesAndAsciiPunctuationOnly) {
    const struct {
        std::string text;
        Pieces tokens;
    } cases[] = {
        {" \t\r\n  ", {}},
        {"мама  мыла\tраму\r\nвчера", {"мама", "мыла", "раму", "вчера"}},
        {"слово,", {"слово", ","}},
        {"«слово»", {"«слово»"}},
        {"кто-то...", {"кто", "-", "то", ".", ".", "."}},
        {"a\u00A0b c", {"a\u00A0b", "c"}},        // no-break space joins
        {"x\vy\fz", {"x\vy\fz"}},                 // other controls join too
        {"да\xFFнет", {"данет"}},                 // an undecodable byte is dropped
        {std::string("да\0нет", 11), {"данет"}},  // so is U+0000
        {"да\xEF\xBF\xBDнет", {"данет"}},         // and U+FFFD itself
        {"a [HOMO] замок [/HOMO] b", {"a", "[HOMO]", "замок", "[/HOMO]", "b"}},
        {"[HOMO]x", {"[", "HOMO", "]", "x"}},
        {"x[/HOMO]", {"x", "[", "/", "HOMO", "]"}},
        {"[homo]", {"[", "homo", "]"}},
        {"a/0:@A[`a{~\x7F", {"a", "/", "0", ":", "@", "A", "[", "`", "a", "{", "~", "\x7F"}},
        {"—…", {"—…"}},
    };
    for (const auto& c : cases) EXPECT_EQ(basic_tokenize(c.text), c.tokens) << c.text;
}

TEST(SplitPunctuation, EveryAsciiSymbolIsAPieceOfItsOwn) {
    EXPECT_EQ(split_punctuation("!\"#$%&'()*+,-./"),
              Pieces({"!", "\"", "#", "$", "%", "&", "'", "(", ")", "*", "+", ",", "-", ".", "/"}));
    EXPECT_EQ(split_punctuation("09AZaz"), Pieces({"09AZaz"}));
    EXPECT_EQ(split_punctuation("зам+ок"), Pieces({"зам", "+", "ок"}));
    EXPECT_EQ(split_punctuation(""), Pieces());
}

TEST(WordPiece, GreedyLongestMatchFirst) {
    const struct {
        WordPieceVocab vocab;
        std::string token;
        Pieces pieces;
    } cases[] = {
        {{{"при", 0}, {"##вет", 1}, {"привет", 2}}, "привет", {"привет"}},
        {{{"при", 0}, {"##вет", 1}}, "привет", {"при", "##вет"}},
        {{{"при", 0}}, "привет", {"[UNK]"}},
        // Pieces already found are dropped when the rest cannot be spelt.
        {{{"при", 0}, {"##в", 1}}, "привет", {"[UNK]"}},
        // The continuation prefix is required after the first piece.
        {{{"при", 0}, {"вет", 1}}, "привет", {"[UNK]"}},
        {{{"п", 0}, {"##р", 1}, {"##ив", 2}, {"##иве", 3}, {"##т", 4}},
         "привет",
         {"п", "##р", "##иве", "##т"}},
        // No lower-casing.
        {{{"привет", 0}}, "Привет", {"[UNK]"}},
    };
    for (const auto& c : cases) EXPECT_EQ(wordpiece(c.token, c.vocab), c.pieces) << c.token;
}

TEST(WordPiece, TokensAbove200BytesAreUnknown) {
    const WordPieceVocab vocab{{"я", 0}, {"##я", 1}, {"##x", 2}};
    std::string token200;
    for (int i = 0; i < 100; ++i) token200 += "я";
    ASSERT_EQ(token200.size(), 200u);
    EXPECT_EQ(wordpiece(token200, vocab).size(), 100u) << "200 bytes are split normally";
    EXPECT_EQ(wordpiece(token200.substr(2) + "x", vocab).size(), 100u);
    EXPECT_EQ(wordpiece(token200 + "x", vocab), Pieces({"[UNK]"})) << "201 bytes";
}

TEST(HomoSolverEncode, FramesPiecesWithClsAndSep) {
    HomoSolver solver;
    solver.vocab = {{"[HOMO]", 4}, {"[/HOMO]", 5}, {"при", 6}, {"##вет", 7}, {",", 8}, {"мир", 9}};
    const auto& s = solver;
    EXPECT_EQ(s.encode(" \t\n"), (std::vector<std::int32_t>{2, 3}));
    EXPECT_EQ(s.encode("привет, мир"), (std::vector<std::int32_t>{2, 6, 7, 8, 9, 3}));
    EXPECT_EQ(s.encode("Привет [HOMO] мир [/HOMO]"), (std::vector<std::int32_t>{2, 1, 4, 9, 5, 3}));

    // A token the vocabulary holds whole is not split, even beyond 200 bytes.
    const std::string long_token(250, 'q');
    solver.vocab[long_token] = 10;
    EXPECT_EQ(s.encode(long_token), (std::vector<std::int32_t>{2, 10, 3}));

    // Ids come from the fields, which the vocabulary may have moved.
    solver.cls_id = 20;
    solver.sep_id = 21;
    solver.unk_id = 22;
    EXPECT_EQ(s.encode("ой"), (std::vector<std::int32_t>{20, 22, 21}));
    solver.vocab["[UNK]"] = 30;
    EXPECT_EQ(s.encode("ой"), (std::vector<std::int32_t>{20, 30, 21}))
        << "an unspellable token is the piece [UNK], looked up like any other";
}

}  // namespace
}  // namespace zelvan_tts
