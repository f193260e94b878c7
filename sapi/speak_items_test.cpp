#include "sapi/speak_items.h"
#include "sapi/tts_engine.h"

#include <gtest/gtest.h>

#include <clocale>

namespace zelvan_tts::sapi {
namespace {

std::vector<std::string> pieces(const std::string& text) {
    const com::wstring wide = com::to_wide(text);
    std::vector<std::string> out;
    for (const auto& p : split_fragment_sentences(wide)) {
        out.push_back(std::to_string(p.offset) + ":" +
                      com::to_utf8(wide.substr(p.offset, p.length)));
    }
    return out;
}

TEST(SpeakItems, SentencePieces) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"Hello there. Good night!", {"0:Hello there.", "13:Good night!"}},
        {"  Is it?  Yes.  ", {"2:Is it?", "10:Yes."}},
        // Periods inside an abbreviation do not end a piece.
        {"See e.g.this one. Next", {"0:See e.g.this one.", "18:Next"}},
        {"Wait...\tGo", {"0:Wait...", "8:Go"}},
        {"no end", {"0:no end"}},
        {"    ", {}},
        {"", {}},
        {"!", {"0:!"}},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(pieces(text), expected) << text;
}

TEST(SpeakItems, WordsOfAPiece) {
    const auto words = split_words(com::to_wide(" один  два\tтри "));
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0].offset, 1u);
    EXPECT_EQ(words[1].offset, 7u);
    EXPECT_EQ(words[2].offset, 11u);
    EXPECT_EQ(words[2].length, 3u);
}

TEST(SpeakItems, WhiteSpaceOfWindowsInTheCLocale) {
    // A host that never set a locale runs in "C", whose iswspace knows only
    // ASCII; the pieces and words must still be those of Windows.
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    const std::vector<std::pair<WCHAR, bool>> cases = {
        {0x0009, true},  {0x000D, true},  {0x0020, true},  {0x0085, true},  {0x1680, true},
        {0x2000, true},  {0x2003, true},  {0x200A, true},  {0x2028, true},  {0x2029, true},
        {0x205F, true},  {0x3000, true},  {0x00A0, false}, {0x2007, false}, {0x202F, false},
        {0x200B, false}, {0x180E, false}, {0xFEFF, false}, {0x001C, false}, {u'x', false},
    };
    for (const auto& [c, white] : cases) {
        const com::wstring sentences = com::to_wide("a.") + c + com::to_wide("b.");
        EXPECT_EQ(split_fragment_sentences(sentences).size(), white ? 2u : 1u) << std::hex << c;
        EXPECT_EQ(split_words(sentences).size(), white ? 2u : 1u) << std::hex << c;
    }
}

TEST(SpeakItems, RatePitchVolumeTables) {
    const std::vector<std::pair<LONG, float>> speeds = {
        {-15, 0.333333f}, {-10, 0.333333f}, {-5, 0.57735f}, {0, 1.0f},
        {1, 1.116123f},   {5, 1.732051f},   {10, 3.0f},     {99, 3.0f}};
    for (const auto& [rate, speed] : speeds) EXPECT_FLOAT_EQ(speed_for_rate(rate), speed) << rate;

    const std::vector<std::pair<LONG, float>> pitches = {{0, 1.0f},  {12, 2.0f}, {-12, 0.5f},
                                                         {24, 4.0f}, {30, 4.0f}, {-30, 0.25f}};
    for (const auto& [m, pitch] : pitches) EXPECT_FLOAT_EQ(pitch_for_adjustment(m), pitch) << m;
    EXPECT_NEAR(pitch_for_adjustment(1), 1.059463f, 1e-6);

    EXPECT_FLOAT_EQ(volume_factor(50), 0.5f);
    EXPECT_FLOAT_EQ(volume_factor(100), 1.0f);
    EXPECT_FLOAT_EQ(volume_factor(0), 0.0f);
    EXPECT_FLOAT_EQ(volume_factor(65535), 1.0f);
}

TEST(SpeakItems, BookmarkNumbersAndSpeakerIds) {
    const std::vector<std::pair<std::string, WPARAM>> marks = {
        {"42", 42}, {"  7x", 7}, {"x1", 0}, {"", 0}, {"-5", 0}, {"99999999999999999999999", 0}};
    for (const auto& [name, number] : marks) {
        EXPECT_EQ(bookmark_number(com::to_wide(name)), number) << name;
    }
    const std::vector<std::pair<std::string, std::int32_t>> ids = {
        {"7", 7}, {"75", 59},    {"-3", 0}, {"abc", 0},
        {"", 0},  {"12abc", 12}, {" 5", 5}, {"99999999999", 0}};
    for (const auto& [text, id] : ids) EXPECT_EQ(speaker_id_from_text(text), id) << text;
}

TEST(SpeakItems, ItemsOfAFragmentList) {
    const com::wstring speak_text = com::to_wide("Hello there. Good night!");
    const com::wstring mark = com::to_wide("42");
    const com::wstring blanks = com::to_wide("   ");
    SPVTEXTFRAG f[5] = {};
    f[0].State.eAction = SPVA_Bookmark;
    f[0].pTextStart = mark.c_str();
    f[0].ulTextLen = 2;
    f[1].State.eAction = SPVA_Speak;
    f[1].State.PitchAdj.MiddleAdj = 12;
    f[1].pTextStart = speak_text.c_str();
    f[1].ulTextLen = static_cast<ULONG>(speak_text.size());
    f[1].ulTextSrcOffset = 100;
    f[2].State.eAction = SPVA_Silence;
    f[2].State.SilenceMSecs = 500;
    f[3].State.eAction = SPVA_SpellOut;
    f[3].pTextStart = blanks.c_str();
    f[3].ulTextLen = 3;
    f[4].State.eAction = SPVA_SpellOut;
    f[4].pTextStart = mark.c_str();
    f[4].ulTextLen = 2;
    f[4].ulTextSrcOffset = 7;
    for (int i = 0; i < 4; ++i) f[i].pNext = &f[i + 1];

    const auto items = build_items(f);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_TRUE(items[0].is_bookmark);
    EXPECT_EQ(items[0].bookmark_length, 2u);
    EXPECT_EQ(items[1].src_offset, 100);
    EXPECT_EQ(items[1].length, 12);
    EXPECT_FLOAT_EQ(items[1].pitch, 2.0f);
    EXPECT_EQ(items[2].src_offset, 113);
    EXPECT_EQ(items[2].length, 11);
    EXPECT_EQ(items[2].text, "Good night!");
    EXPECT_EQ(items[3].src_offset, 7);
    EXPECT_FLOAT_EQ(items[3].pitch, 1.0f);
}

TEST(SpeakItems, WordOffsetsStayInsideThePiece) {
    EXPECT_EQ(word_offset(1000, 0.5f, 96000), 1000u + 48000u);
    EXPECT_EQ(word_offset(1000, 0.25f / 96000.0f * 4.0f + 0.0f, 96000), 1000u);  // below 1 byte
    EXPECT_EQ(word_offset(1000, 5.0f, 96000), 1000u + 96000u);
    EXPECT_EQ(word_offset(1000, -1.0f, 96000), 1000u);
    EXPECT_EQ(word_offset(0, 0.1f, 96000), 9600u);
}

}  // namespace
}  // namespace zelvan_tts::sapi
