#include "engine/word_spans.h"

#include "engine/word_timestamps.h"
#include "text/normalization.h"
#include "text/transliteration.h"
#include "text/written_forms.h"

#include <gtest/gtest.h>

namespace zelvan_tts {
namespace {

// The words of every chunk, each written as the bytes of the input it spans.
std::vector<std::string> spans_of(const std::string& input, const std::string& script,
                                  std::size_t max_chars = kMaxChunkChars) {
    std::vector<std::string> out;
    for (const ChunkWords& chunk : chunk_words(input, script, "rus", max_chars)) {
        EXPECT_EQ(chunk.words.size(),
                  spoken_words(script.substr(chunk.chunk.offset, chunk.chunk.length)).size());
        for (const WordSpan& w : chunk.words) out.push_back(input.substr(w.offset, w.length));
    }
    return out;
}

TEST(WordSpans, EverySpokenWordPointsAtTheTextItCameFrom) {
    using Words = std::vector<std::string>;
    const auto steps = [](const std::string& text) {
        return transliterate(normalize_numbers(text, "rus"), "rus");
    };
    const struct {
        std::string input;
        std::string script;  // empty: the steps without stages
        Words words;
    } cases[] = {
        {"В 2024 году", "", {"В", "2024", "2024", "2024", "2024", "году"}},
        {"Привет,  мир!\nHello", "", {"Привет,", "мир!", "Hello"}},
        {"  Замок (5)  стоит. ", "  З+амок (пять)  ст+оит. ", {"Замок", "(5)", "стоит."}},
        // A line feed is no blank to the model: one word over two pieces.
        {"да\nнет", "", {"да\nнет"}},
        // Characters the voice does not know make no word.
        {"★ да", "", {"да"}},
        // Pieces that do not correspond: the whole text, never a wrong part.
        {"один два", "один два три", {"один два", "один два", "один два"}},
    };
    for (const auto& c : cases) {
        const std::string script = c.script.empty() ? steps(c.input) : c.script;
        EXPECT_EQ(spans_of(c.input, script), c.words) << c.input;
    }
    // A long sentence cut at a comma keeps its words' spans across chunks.
    std::string long_text;
    for (int i = 0; i < 40; ++i) long_text += "слово, ";
    const Words words = spans_of(long_text, long_text, 50);
    ASSERT_EQ(words.size(), 40u);
    for (const std::string& w : words) EXPECT_EQ(w, "слово,");
}

TEST(WordSpans, WordsOfAFormReadInFullPointAtTheWholeForm) {
    const std::string input = "Пришло 10 000 человек, т. е. 5 кг и $3.";
    std::vector<ReadingEdit> edits;
    const std::string read = read_written_forms(input, "rus", {}, &edits);
    const std::string script = transliterate(normalize_numbers(read, "rus"), "rus");
    std::vector<std::string> words;
    for (const ChunkWords& chunk : chunk_words(input, read, edits, script, "rus", kMaxChunkChars, nullptr))
        for (const WordSpan& w : chunk.words) words.push_back(input.substr(w.offset, w.length));
    const std::vector<std::string> expected = {
        "Пришло", "10 000", "10 000", "человек,", "т. е.", "т. е.",
        "5 кг",   "5 кг",   "и",      "$3.",      "$3."};
    EXPECT_EQ(words, expected);
}

}  // namespace
}  // namespace zelvan_tts
