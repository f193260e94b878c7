#include "engine/word_timestamps.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelvan_tts {
namespace {

using Times = std::vector<float>;
using Words = std::vector<std::pair<float, float>>;

Words words_of(const std::string& chunk, const Times& ts, float offset = 0, float speed = 1) {
    std::vector<WordTimestamp> out;
    extract_word_timestamps(chunk, ts.data(), ts.size(), offset, speed, out);
    Words words;
    for (const WordTimestamp& w : out) words.emplace_back(w.start, w.end);
    return words;
}

// ts[j] = j / 10: the symbol at id position j runs from j/10 to (j+1)/10.
Times ramp(std::size_t n) {
    Times ts(n);
    for (std::size_t j = 0; j < n; ++j) ts[j] = static_cast<float>(j) / 10;
    return ts;
}

// Float sums such as (0.1 + 1) / 2 need not hit the literal exactly.
::testing::AssertionResult near(const Words& actual, const Words& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << actual.size() << " words, expected " << expected.size();
    }
    for (std::size_t k = 0; k < actual.size(); ++k) {
        if (std::abs(actual[k].first - expected[k].first) > 1e-6f ||
            std::abs(actual[k].second - expected[k].second) > 1e-6f) {
            return ::testing::AssertionFailure()
                   << "word " << k << ": " << actual[k].first << ".." << actual[k].second
                   << ", expected " << expected[k].first << ".." << expected[k].second;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(WordTimestamps, WordsRunBetweenBlanks) {
    // ids: 2 | д а | blank | н е т | 1  -> positions 0..7
    EXPECT_TRUE(near(words_of("да нет", ramp(8)), (Words{{0.1f, 0.3f}, {0.4f, 0.7f}})));
    // A capital is folded and aligned like its small letter; І folds too.
    EXPECT_TRUE(near(words_of("Да Нет", ramp(8)), words_of("да нет", ramp(8))));
    EXPECT_TRUE(near(words_of("Іван є", ramp(8)), (Words{{0.1f, 0.5f}, {0.6f, 0.7f}})));
    // Characters outside the alphabet are skipped without moving the alignment.
    EXPECT_TRUE(near(words_of("д1а н@ет", ramp(8)), (Words{{0.1f, 0.3f}, {0.4f, 0.7f}})));
    // Punctuation extends its word; a lone dash is a word of its own.
    EXPECT_TRUE(
        near(words_of("да, — нет", ramp(11)), (Words{{0.1f, 0.4f}, {0.5f, 0.6f}, {0.7f, 1.0f}})));
    // A chunk cut after a comma starts with a blank.
    EXPECT_TRUE(near(words_of(" да", ramp(5)), (Words{{0.2f, 0.4f}})));
    // Nothing the alphabet knows: no records.
    EXPECT_TRUE(near(words_of("123 @#", ramp(2)), Words{}));
    EXPECT_TRUE(near(words_of("", ramp(2)), Words{}));
}

TEST(WordTimestamps, SpeedOffsetAndShortTensors) {
    // Speed 2.0 halves model time plus offset.
    EXPECT_TRUE(
        near(words_of("да нет", ramp(8), 1.0f, 2.0f), (Words{{0.55f, 0.65f}, {0.7f, 0.85f}})));
    // A tensor shorter than the ids gives the rest its last value.
    EXPECT_TRUE(near(words_of("да нет", ramp(4)), (Words{{0.1f, 0.3f}, {0.3f, 0.3f}})));
    // A single value: every symbol takes it.
    EXPECT_TRUE(near(words_of("да", Times{0.5f}), (Words{{0.0f, 0.5f}})));
    // No value at all: nothing to align against, no records.
    std::vector<WordTimestamp> out;
    extract_word_timestamps("да", nullptr, 0, 0, 1, out);
    EXPECT_TRUE(out.empty());
}

TEST(WordTimestamps, AppendsWithoutClearing) {
    std::vector<WordTimestamp> out{{9, 9}};
    const Times ts = ramp(4);
    extract_word_timestamps("да", ts.data(), ts.size(), 0, 1, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_FLOAT_EQ(out[0].start, 9);
}

TEST(WordTimestamps, SpokenWordsMatchTheRecords) {
    for (const std::string chunk : {"да, — нет", " Іван@ є ", "123", "а  б", "З+амок"}) {
        const std::vector<float> ts = ramp(40);
        std::vector<WordTimestamp> records;
        extract_word_timestamps(chunk, ts.data(), ts.size(), 0, 1, records);
        EXPECT_EQ(spoken_words(chunk).size(), records.size()) << chunk;
    }
    EXPECT_EQ(spoken_words(" Іван@ є, — З+амок"),
              (std::vector<std::string>{"Іван", "є,", "—", "З+амок"}));
}

}  // namespace
}  // namespace zelvan_tts
