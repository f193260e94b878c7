#include "text/written_forms.h"

#include "text/russian_numerals.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelvan_tts {
namespace {

// What a Russian voice says, without the stress marks.
std::string spoken(const std::string& text) {
    std::string out;
    for (char c : read_written_forms(text, "rus"))
        if (c != '+') out += c;
    return out;
}

struct Reading {
    const char* written;
    const char* said;
};

void expect_readings(const std::vector<Reading>& cases) {
    for (const Reading& c : cases) EXPECT_EQ(spoken(c.written), c.said) << c.written;
}

TEST(RussianNumerals, DeclineInEveryCaseAndGender) {
    struct Case {
        const char* digits;
        GrammarCase c;
        Gender g;
        bool ordinal;
        const char* words;
    };
    const Case cases[] = {
        {"221", GrammarCase::Dative, Gender::Masculine, false, "двумст+ам двадцат+и одном+у"},
        {"3000", GrammarCase::Instrumental, Gender::Masculine, false, "трем+я т+ысячами"},
        {"21000", GrammarCase::Nominative, Gender::Masculine, false, "дв+адцать одн+а т+ысяча"},
        {"1000000", GrammarCase::Nominative, Gender::Masculine, false, "милли+он"},
        {"2", GrammarCase::Nominative, Gender::Feminine, false, "дв+е"},
        {"1", GrammarCase::Accusative, Gender::Feminine, false, "одн+у"},
        {"40", GrammarCase::Genitive, Gender::Masculine, false, "сорок+а"},
        {"2024", GrammarCase::Prepositional, Gender::Masculine, true,
         "дв+е т+ысячи дв+адцать четв+ёртом"},
        {"1961", GrammarCase::Genitive, Gender::Masculine, true,
         "т+ысяча девятьс+от шестьдес+ят п+ервого"},
        {"3", GrammarCase::Nominative, Gender::Feminine, true, "тр+етья"},
        {"40", GrammarCase::Nominative, Gender::Masculine, true, "сороков+ой"},
        {"2000", GrammarCase::Genitive, Gender::Plural, true, "двухт+ысячных"},
        {"100", GrammarCase::Nominative, Gender::Feminine, true, "с+отая"},
    };
    for (const Case& c : cases) {
        const std::string got = c.ordinal ? ordinal_words(c.digits, c.c, c.g)
                                          : cardinal_words(c.digits, c.c, c.g);
        EXPECT_EQ(got, c.words) << c.digits;
    }
    EXPECT_EQ(cardinal_words(std::string(19, '9'), GrammarCase::Nominative, Gender::Masculine), "");
}

TEST(WrittenForms, ReadsNumbersAsWritten) {
    expect_readings({
        {"Пришло 10 000 человек", "Пришло десять тысяч человек"},
        {"1 000 000", "миллион"},
        {"1\xC2\xA0" "500 рублей", "тысяча пятьсот рублей"},
        {"3,14", "три целых четырнадцать сотых"},
        {"1/2 и 3/4", "одна вторая и три четвёртых"},
        {"от −5 до +3", "от минус пяти до плюс трёх"},
        {"за 20-30 лет", "за двадцать — тридцать лет"},
        {"5 – 7 дней", "пять — семь дней"},
        {"в 12:30 и в 7:05", "в двенадцать тридцать и в семь ноль пять"},
        {"8 (800) 555-35-35", "восемь восемьсот пятьсот пятьдесят пять тридцать пять тридцать пять"},
        {"код 007", "код ноль ноль семь"},
        {"2+2", "два плюс два"},
        {"x2", "x два"},
    });
}

TEST(WrittenForms, ReadsOrdinalsDatesAndYears) {
    expect_readings({
        {"уже 12-й", "уже двенадцатый"},
        {"из 2-х зол", "из двух зол"},
        {"3-го числа", "третьего числа"},
        {"в 1990-х", "в девяностых"},
        {"90-е", "девяностые"},
        {"на 5-й странице", "на пятой странице"},
        {"1-я серия", "первая серия"},
        {"200ый", "двухсотый"},
        {"В 2024 году", "В две тысячи двадцать четвёртом году"},
        {"родился 12 апреля 1961 года",
         "родился двенадцатого апреля тысяча девятьсот шестьдесят первого года"},
        {"Родился 12.04.1961 в Москве",
         "Родился двенадцатого апреля тысяча девятьсот шестьдесят первого года в Москве"},
        {"в 1961 г. и", "в тысяча девятьсот шестьдесят первом году и"},
        {"2 года", "два года"},
    });
}

TEST(WrittenForms, ReadsUnitsAndSignsInAgreement) {
    expect_readings({
        {"1 кг", "один килограмм"},
        {"2 кг", "два килограмма"},
        {"5 кг", "пять килограммов"},
        {"1,5 кг", "одна целая пять десятых килограмма"},
        {"21 руб. и", "двадцать один рубль и"},
        {"8 Мб", "восемь мегабайт"},
        {"10% и 15,5%", "десять процентов и пятнадцать целых пять десятых процента"},
        {"100 $ и $5", "сто долларов и пять долларов"},
        {"№ 7", "номер семь"},
        {"-5 °C", "минус пять градусов цельсия"},
        {"100 км/ч", "сто километров в час"},
        {"2 тыс. руб. Итого", "две тысячи рублей. Итого"},
        {"1 минута и 2 минуты", "одна минута и две минуты"},
        {"с 5 кг", "с пяти килограммов"},
    });
    // Stress as a reader puts it, so that the stress stage has nothing to guess.
    EXPECT_EQ(read_written_forms("5 кг", "rus"), "п+ять килогр+аммов");
}

TEST(WrittenForms, ReadsAbbreviations) {
    expect_readings({
        {"т.е. так", "то есть так"},
        {"и т. д. и т.п.", "и так далее и тому подобное."},
        {"и др. Потом", "и другие. Потом"},
        {"г. Москва, ул. Ленина, д. 5", "город Москва, улица Ленина, дом пять"},
        {"в г. Москве", "в городе Москве"},
        {"см. рис. 3", "смотри рисунок три"},
        {"Т.е.", "То есть."},
        {"5 г сахара", "пять граммов сахара"},
        {"кг", "кг"},
    });
}

TEST(WrittenForms, TakesCaseFromPrepositionsAndNouns) {
    expect_readings({
        {"к 18 годам", "к восемнадцати годам"},
        {"около 5 человек", "около пяти человек"},
        {"с 5 друзьями", "с пятью друзьями"},
        {"в 3 домах", "в трёх домах"},
        {"о 2 книгах", "о двух книгах"},
        {"между 5 и 10", "между пятью и десятью"},
        {"к 221 рублю", "к двумстам двадцати одному рублю"},
        {"с 3000 рублями", "с тремя тысячами рублями"},
        {"по 3 раза", "по три раза"},
        {"21 страница", "двадцать одна страница"},
    });
}

TEST(WrittenForms, ReadsRomanNumeralsButNotLetters) {
    expect_readings({
        {"XX век", "двадцатый век"},
        {"в XIX веке", "в девятнадцатом веке"},
        {"Пётр I", "Пётр Первый"},
        {"Екатерина II", "Екатерина Вторая"},
        {"глава IV", "глава четвёртая"},
        // Cyrillic В, С, Х, И, М and Latin letters without a context stay.
        {"В доме, С другом, Х и М.", "В доме, С другом, Х и М."},
        {"I love you, Windows XP", "I love you, Windows XP"},
    });
}

TEST(WrittenForms, LeavesOtherLanguagesAndTheDictionarysWordsAlone) {
    for (const char* lang : {"ukr", "bel", "kat", "tat", ""}) {
        EXPECT_EQ(read_written_forms("10 000 т.е. 5 кг XX век", lang), "10 000 т.е. 5 кг XX век")
            << lang;
    }
    const KeepWritten keep = [](std::string_view w) { return w == "кг" || w == "т.е."; };
    EXPECT_EQ(read_written_forms("т.е. 5 кг", "rus", keep), "т.е. п+ять кг");
}

TEST(WrittenForms, EditsPointAtTheWrittenForm) {
    const std::string text = "Было 10 000 т. е. много";
    std::vector<ReadingEdit> edits;
    const std::string out = read_written_forms(text, "rus", {}, &edits);
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(text.substr(edits[0].begin, edits[0].end - edits[0].begin), "10 000");
    EXPECT_EQ(out.substr(edits[0].out_begin, edits[0].out_end - edits[0].out_begin),
              "д+есять т+ысяч");
    EXPECT_EQ(text.substr(edits[1].begin, edits[1].end - edits[1].begin), "т. е.");
    // A block reads its neighbours as context but changes only itself.
    const std::size_t at = text.find("10");
    EXPECT_EQ(read_written_forms(text, at, text.size(), "rus"), out.substr(out.find("д+есять")));
}

}  // namespace
}  // namespace zelvan_tts
