#include "shared/symbols/symbols.h"

#include <gtest/gtest.h>

#include <thread>

namespace zelvan_tts {
namespace {

using Ids = std::vector<std::int64_t>;

struct Reported {
    std::string chars;
    int count = 0;
    int calls = 0;
};

Ids encode_reporting(std::string_view text, Reported& reported) {
    return encode_text(text, SymbolMap::instance(), [&](const std::string& chars, int count) {
        reported.chars = chars;
        reported.count = count;
        ++reported.calls;
    });
}

TEST(SymbolMap, MapsEveryPositionExceptTheTwoFrameIds) {
    const SymbolMap& map = SymbolMap::instance();
    ASSERT_EQ(symbols.size(), 85u);
    EXPECT_EQ(map.size(), 83u);
    for (std::size_t pos = 2; pos < symbols.size(); ++pos) {
        EXPECT_EQ(map.find(symbols[pos]), static_cast<std::int32_t>(pos)) << pos;
    }
    EXPECT_EQ(map.find(U'|'), 2);
    EXPECT_EQ(map.find(U'ӏ'), 81);
    EXPECT_EQ(map.find(U' '), 84);
    EXPECT_EQ(map.find(U'\u2026'), 83);
    EXPECT_EQ(map.find(U'A'), -1);
    EXPECT_EQ(map.find(0x04C1), -1);
}

TEST(SymbolMap, IsOneInstanceAcrossThreads) {
    const SymbolMap* seen[4] = {};
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&slot] { slot = &SymbolMap::instance(); });
    for (auto& t : threads) t.join();
    for (const SymbolMap* p : seen) EXPECT_EQ(p, &SymbolMap::instance());
}

TEST(EncodeText, FramesFoldsAndReportsDroppedCharacters) {
    struct Case {
        const char* name;
        std::string text;
        Ids ids;
        std::string reported;  // empty: the sink must not be called
        int count;
    };
    const Case cases[] = {
        {"empty chunk", "", {2, 1}, "", 0},
        {"capitals fold", "Мир!", {2, 25, 21, 29, 3, 1}, "", 0},
        {"Latin H", "H", {2, 12, 1}, "", 0},
        {"vertical line", "|", {2, 2, 1}, "", 0},
        {"yo", "Ёж", {2, 45, 19, 1}, "", 0},
        {"Ukrainian capitals fold", "\u0406\u0404", {2, 47, 46, 1}, "", 0},
        {"Uzbek and Serbian capitals fold", "ЎЈЇ", {2, 50, 49, 48, 1}, "", 0},
        {"Latin and digit", "a1", {2, 1}, "a 1 ", 2},
        {"bad byte", "\xD0\x20", {2, 84, 1}, "\xEF\xBF\xBD ", 1},
        {"cut sequence", "\xE2\x80", {2, 1}, "\xEF\xBF\xBD \xEF\xBF\xBD ", 2},
        {"capital palochka folds out of the alphabet", "\u04C0\u04CF", {2, 81, 1}, "\u04C1 ", 1},
        {"punctuation and dashes", "— … -;", {2, 82, 84, 83, 84, 7, 10, 1}, "", 0},
    };
    for (const Case& c : cases) {
        Reported reported;
        EXPECT_EQ(encode_reporting(c.text, reported), c.ids) << c.name;
        if (c.count == 0) {
            EXPECT_EQ(reported.calls, 0) << c.name;
        } else {
            EXPECT_EQ(reported.calls, 1) << c.name;
            EXPECT_EQ(reported.chars, c.reported) << c.name;
            EXPECT_EQ(reported.count, c.count) << c.name;
        }
    }
}

TEST(EncodeText, WorksWithoutASink) {
    EXPECT_EQ(encode_text("a1Я", SymbolMap::instance()), (Ids{2, 44, 1}));
}

}  // namespace
}  // namespace zelvan_tts
