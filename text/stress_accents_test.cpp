#include "text/stress_accents.h"

#include <gtest/gtest.h>

namespace zelvan_tts {
namespace {

TEST(StressAccents, AcuteAccentBecomesThePlusBeforeItsVowel) {
    struct Case {
        const char* name;
        std::string text;
        std::string marked;
    };
    const Case cases[] = {
        {"a lock", "замо\u0301к", "зам+ок"},
        {"a castle", "за\u0301мок", "з+амок"},
        {"a plus stays as it is", "з+амок и зам+ок", "з+амок и зам+ок"},
        {"accent and plus agree", "зам+о\u0301к", "зам+ок"},
        {"capital and ё", "О\u0301блако, её\u0301", "+Облако, е+ё"},
        {"Ukrainian і", "пі\u0301сня", "п+існя"},
        {"Latin", "cafe\u0301", "caf+e"},
        {"after a consonant it stays", "м\u0301ы", "м\u0301ы"},
        {"a grave accent stays", "за\u0300мок", "за\u0300мок"},
        {"two words", "мука\u0301 и му\u0301ка", "мук+а и м+ука"},
        {"accent first", "\u0301а", "\u0301а"},
        {"broken bytes kept", "\xD0о\u0301\xFF", "\xD0+о\xFF"},
    };
    for (const Case& c : cases) EXPECT_EQ(stress_accents_to_marks(c.text), c.marked) << c.name;
}

}  // namespace
}  // namespace zelvan_tts
