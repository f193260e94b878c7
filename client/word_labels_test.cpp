#include "client/word_labels.h"

#include <gtest/gtest.h>

namespace zelvan_tts {
namespace {

// Each word as "spoken=written", the written part cut from the text.
std::vector<std::string> labels(const std::string& text, const char* lang) {
    std::vector<std::string> out;
    for (const LabelledWord& w : label_words(text, lang)) {
        EXPECT_LE(w.offset + w.length, text.size()) << text;
        out.push_back(w.word + "=" + text.substr(w.offset, w.length));
    }
    return out;
}

TEST(WordLabels, EachSpokenWordPointsAtTheUsersOwnWord) {
    using Words = std::vector<std::string>;
    const struct {
        const char* lang;
        std::string text;
        Words words;
    } cases[] = {
        // A number read as several words maps each of them to the number.
        {"rus", "В 2024 году", {"В=В", "две=2024", "тысячи=2024", "двадцать=2024",
                                "четвёртом=2024", "году=году"}},
        // Punctuation glued to a word stays with it.
        {"rus", "Да. Нет, 5.", {"Да.=Да.", "Нет,=Нет,", "пять.=5."}},
        // Latin words are spoken transliterated and point at the Latin.
        {"rus", "Hello, мир!", {"Хелло,=Hello,", "мир!=мир!"}},
        {"kat", "5 ვაშლი", {"хути=5", "вашли=ვაშლი"}},
        {"hye", "Արամ 3", {"Арам=Արամ", "три=3"}},
        // Stress marked by the reader is not part of the word shown.
        {"rus", "Стар+инный зам+ок", {"Старинный=Стар+инный", "замок=зам+ок"}},
        // A "+" of its own is a word the voice says.
        {"rus", "2 + 2", {"два=2", "+=+", "два=2"}},
        // Characters the voice does not know make no word.
        {"rus", "★ да @", {"да=да"}},
        {"rus", "", {}},
        {"rus", " \n ", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(labels(c.text, c.lang), c.words) << c.text;
}

TEST(WordLabels, OffsetsCountFromTheStartOfALongText) {
    // Several blocks of the text steps, and a sentence cut into chunks.
    std::string text;
    std::size_t sentences = 0;
    for (; text.size() < 5000; ++sentences) text += "Раз, два, три. ";
    for (int i = 0; i < 60; ++i) text += "слово, ";
    text += "и 12 конец.";
    const std::vector<LabelledWord> words = label_words(text, "rus");
    ASSERT_EQ(words.size(), 3 * sentences + 60 + 3);
    const LabelledWord& twelve = words[words.size() - 2];
    EXPECT_EQ(twelve.word, "двенадцать");
    EXPECT_EQ(twelve.offset, text.rfind("12"));
    EXPECT_EQ(twelve.length, 2u);
    EXPECT_EQ(words.back().offset, text.rfind("конец."));
}

}  // namespace
}  // namespace zelvan_tts
