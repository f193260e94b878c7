#include "text/reading_modes.h"

#include <gtest/gtest.h>

namespace zelvan_tts {
namespace {

// Text runs as they are, tones as "|".
std::string said(const std::vector<SpeechItem>& items) {
    std::string out;
    for (const SpeechItem& i : items) {
        if (!out.empty()) out += " / ";
        out += i.kind == SpeechItem::Kind::Tone ? "|" : i.text;
    }
    return out;
}

std::vector<SpeechItem> text(const char* t, bool characters = false) {
    SpeechItem run;
    run.text = t;
    run.characters = characters;
    return {run};
}

TEST(ReadingModes, PunctuationSpellingAndCapitals) {
    const ReadingModes none;
    ReadingModes some, most, all, spelling, spelled_caps, icon_caps;
    some.punctuation = Punctuation::Some;
    most.punctuation = Punctuation::Most;
    all.punctuation = Punctuation::All;
    spelling.spelling = true;
    spelled_caps.spelling = true;
    spelled_caps.capitals = Capitals::Spell;
    icon_caps.capitals = Capitals::Icon;
    const struct {
        std::vector<SpeechItem> items;
        ReadingModes modes;
        const char* said;
    } kCases[] = {
        {text("a+b (c), d."), none, "a+b (c), d."},
        {text("a+b (c), d."), some, "a плюс b (c), d."},
        {text("a+b (c), d."), most, "a плюс b  открывающая скобка c закрывающая скобка , d."},
        {text("Да, нет!"), all, "Да запятая , нет восклицательный знак !"},
        {text("Ростов-на-Дону"), most, "Ростов-на-Дону"},
        {text("Ёж и Ab1"), spelling, "ё, жэ. и. эй, би, 1"},
        {text("Ёж"), spelled_caps, "большая ё, жэ"},
        {text("мЯч", true), icon_caps, "эм,  / | / я, чэ"},
        {text("ъ@ә", true), none, "твёрдый знак, собака, ә"},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(said(apply_reading_modes(c.items, c.modes)), c.said) << c.items[0].text;
}

TEST(ReadingModes, CharactersAndKeys) {
    ReadingModes caps;
    caps.capitals = Capitals::Spell;
    EXPECT_EQ(said(read_character("Б", caps)), "большая бэ");
    EXPECT_EQ(said(read_character("&lt;", caps)), "меньше");
    EXPECT_EQ(said(read_character(" ", caps)), "пробел");
    EXPECT_EQ(said(read_character("7", caps)), "7");
    // A character the voices cannot say is named as Unicode names it, or
    // given by its code.
    EXPECT_EQ(said(read_character("\u00DF", caps)), "latin small letter sharp s");
    EXPECT_EQ(said(read_character("\U0001F600", caps)), "grinning face");
    EXPECT_EQ(said(read_character("\u0378", caps)), "символ 0 3 7 8");
    EXPECT_EQ(said(read_character("\u4E2D", caps)), "символ 4 и 2 ди");
    EXPECT_EQ(said(read_character("\u0456", caps)), "\u0456");  // і, which the voices say
    EXPECT_EQ(said(read_key("shift_a", caps)), "шифт эй");
    EXPECT_EQ(said(read_key("control_alt_delete", caps)), "контрол альт делит");
    EXPECT_EQ(said(read_key("_", caps)), "подчёркивание");
    EXPECT_EQ(said(read_key("kp-5", caps)), "цифровой 5");
    EXPECT_EQ(said(read_key("f12", caps)), "эф 12");
    EXPECT_EQ(said(read_key("escape", caps)), "эскейп");
}

}  // namespace
}  // namespace zelvan_tts
