#include "text/number_words.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace zelvan_tts {
namespace {

struct Case {
    std::string input;
    std::string words;
};

std::string ones_and_zeros(char lead, std::size_t zeros) {
    return std::string(1, lead) + std::string(zeros, '0');
}

TEST(Num2WordsRuTest, ReadsNumbersBelowAThousand) {
    const std::vector<Case> cases = {
        {"0", "ноль"},
        {"000", "ноль"},
        {"-0", "ноль"},
        {"-000", "ноль"},
        {"007", "семь"},
        {"1", "один"},
        {"2", "два"},
        {"9", "девять"},
        {"10", "десять"},
        {"11", "одиннадцать"},
        {"12", "двенадцать"},
        {"13", "тринадцать"},
        {"14", "четырнадцать"},
        {"15", "пятнадцать"},
        {"17", "семнадцать"},
        {"19", "девятнадцать"},
        {"20", "двадцать"},
        {"21", "двадцать один"},
        {"40", "сорок"},
        {"50", "пятьдесят"},
        {"68", "шестьдесят восемь"},
        {"80", "восемьдесят"},
        {"90", "девяносто"},
        {"100", "сто"},
        {"115", "сто пятнадцать"},
        {"200", "двести"},
        {"342", "триста сорок два"},
        {"400", "четыреста"},
        {"500", "пятьсот"},
        {"610", "шестьсот десять"},
        {"999", "девятьсот девяносто девять"},
        {"-15", "минус пятнадцать"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Num2WordsRu::instance().convert(c.input), c.words) << c.input;
    }
}

TEST(Num2WordsRuTest, ThousandsAreFeminineAndScaleWordsAgree) {
    const std::vector<Case> cases = {
        {"1000", "одна тысяча"},
        {"2000", "две тысячи"},
        {"4000", "четыре тысячи"},
        {"5000", "пять тысяч"},
        {"11000", "одиннадцать тысяч"},
        {"12000", "двенадцать тысяч"},
        {"21000", "двадцать одна тысяча"},
        {"22000", "двадцать две тысячи"},
        {"111000", "сто одиннадцать тысяч"},
        {"1001", "одна тысяча один"},
        {"1002", "одна тысяча два"},
        {"2000001", "два миллиона один"},
        {"1000000", "один миллион"},
        {"5000000", "пять миллионов"},
        {"12000000", "двенадцать миллионов"},
        {"1000000000", "один миллиард"},
        {"3000000000", "три миллиарда"},
        {"1000001000", "один миллиард одна тысяча"},
        {"1000000000000", "один триллион"},
        {"5000000000000", "пять триллионов"},
        {"2000000000000", "два триллиона"},
        {"21000000000000", "двадцать один триллион"},
        {"-2000000", "минус два миллиона"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Num2WordsRu::instance().convert(c.input), c.words) << c.input;
    }
}

TEST(Num2WordsRuTest, NamesEveryScaleUpToVigintillion) {
    const std::vector<std::string> names = {
        "триллион",      "квадриллион",       "квинтиллион",   "секстиллион", "септиллион",
        "октиллион",     "нониллион",         "дециллион",     "ундециллион", "додециллион",
        "тредециллион",  "кваттуордециллион", "квиндециллион", "седециллион", "септдециллион",
        "октодециллион", "новемдециллион",    "вигинтиллион"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::size_t zeros = 3 * (i + 4);
        EXPECT_EQ(Num2WordsRu::instance().convert(ones_and_zeros('1', zeros)), "один " + names[i]);
        EXPECT_EQ(Num2WordsRu::instance().convert(ones_and_zeros('3', zeros)),
                  "три " + names[i] + "а");
        EXPECT_EQ(Num2WordsRu::instance().convert(ones_and_zeros('7', zeros)),
                  "семь " + names[i] + "ов");
    }
}

TEST(Num2WordsRuTest, ReadsSixtySixDigitsAndLeavesSixtySeven) {
    const std::string nines66(66, '9');
    const std::string read = Num2WordsRu::instance().convert(nines66);
    EXPECT_EQ(read.rfind("девятьсот девяносто девять вигинтиллионов девятьсот", 0), 0u) << read;
    EXPECT_NE(read.find("девятьсот девяносто девять тысяч девятьсот девяносто девять"),
              std::string::npos);
    EXPECT_EQ(read.find_first_of("0123456789"), std::string::npos);

    // Leading zeros do not count towards the limit.
    const Num2WordsRu& ru = Num2WordsRu::instance();
    EXPECT_EQ(ru.convert("0000" + ones_and_zeros('1', 65)), "сто вигинтиллионов");
    EXPECT_EQ(ru.convert("-" + ones_and_zeros('1', 65)), "минус сто вигинтиллионов");

    for (const std::string& unread :
         {ones_and_zeros('1', 66), std::string(67, '9'), "-" + ones_and_zeros('1', 66),
          "00" + ones_and_zeros('1', 66)}) {
        EXPECT_EQ(Num2WordsRu::instance().convert(unread), unread);
    }
}

TEST(Num2WordsKaTest, ReadsTwentiesBelowAHundred) {
    const std::vector<Case> cases = {
        {"0", "ნული"},        {"-0", "ნული"},
        {"1", "ერთი"},        {"2", "ორი"},
        {"7", "შვიდი"},       {"8", "რვა"},
        {"9", "ცხრა"},        {"10", "ათი"},
        {"11", "თერთმეტი"},   {"12", "თორმეტი"},
        {"13", "ცამეტი"},     {"14", "თოთხმეტი"},
        {"15", "თხუთმეტი"},   {"16", "თექვსმეტი"},
        {"17", "ჩვიდმეტი"},   {"18", "თვრამეტი"},
        {"19", "ცხრამეტი"},   {"20", "ოცი"},
        {"21", "ოცდაერთი"},   {"28", "ოცდარვა"},
        {"30", "ოცდაათი"},    {"31", "ოცდათერთმეტი"},
        {"40", "ორმოცი"},     {"50", "ორმოცდაათი"},
        {"60", "სამოცი"},     {"77", "სამოცდაჩვიდმეტი"},
        {"80", "ოთხმოცი"},    {"99", "ოთხმოცდაცხრამეტი"},
        {"-5", "მინუს ხუთი"}, {"007", "შვიდი"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Num2WordsKa::instance().convert(c.input), c.words) << c.input;
    }
}

TEST(Num2WordsKaTest, ReadsHundredsThousandsMillionsAndMilliards) {
    const std::vector<Case> cases = {
        {"100", "ასი"},
        {"101", "ას ერთი"},
        {"120", "ას ოცი"},
        {"200", "ორასი"},
        {"250", "ორას ორმოცდაათი"},
        {"800", "რვაასი"},
        {"999", "ცხრაას ოთხმოცდაცხრამეტი"},
        {"1000", "ათასი"},
        {"1001", "ათას ერთი"},
        {"2000", "ორი ათასი"},
        {"2500", "ორი ათას ხუთასი"},
        {"200000", "ორასი ათასი"},
        {"1000000", "ერთი მილიონი"},
        {"1001000", "ერთი მილიონ ათასი"},
        {"2000000000", "ორი მილიარდი"},
        {"1000000005", "ერთი მილიარდ ხუთი"},
        {"999999999999",
         "ცხრაას ოთხმოცდაცხრამეტი მილიარდ ცხრაას ოთხმოცდაცხრამეტი მილიონ "
         "ცხრაას ოთხმოცდაცხრამეტი ათას ცხრაას ოთხმოცდაცხრამეტი"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Num2WordsKa::instance().convert(c.input), c.words) << c.input;
    }
}

TEST(Num2WordsKaTest, ReadsShortScaleUpToTheSigned64BitLimit) {
    const std::vector<Case> cases = {
        {"1000000000000", "ერთი ტრილიონი"},
        {"5000000000000", "ხუთი ტრილიონი"},
        {"1000000001000", "ერთი ტრილიონ ათასი"},
        {"20000000000007", "ოცი ტრილიონ შვიდი"},
        {"1000000000000000", "ერთი კვადრილიონი"},
        {"1000000000000000000", "ერთი კვინტილიონი"},
        {"9223372036854775807",
         "ცხრა კვინტილიონ ორას ოცდასამი კვადრილიონ სამას სამოცდათორმეტი ტრილიონ "
         "ოცდათექვსმეტი მილიარდ რვაას ორმოცდათოთხმეტი მილიონ შვიდას სამოცდათხუთმეტი "
         "ათას რვაას შვიდი"},
        {"-9223372036854775807",
         "მინუს ცხრა კვინტილიონ ორას ოცდასამი კვადრილიონ სამას სამოცდათორმეტი ტრილიონ "
         "ოცდათექვსმეტი მილიარდ რვაას ორმოცდათოთხმეტი მილიონ შვიდას სამოცდათხუთმეტი "
         "ათას რვაას შვიდი"},
        {"0000000000000000000000000000001000000000000", "ერთი ტრილიონი"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Num2WordsKa::instance().convert(c.input), c.words) << c.input;
    }
    for (const std::string unread :
         {"9223372036854775808", "-9223372036854775808", "18446744073709551616",
          "99999999999999999999", "100000000000000000000"}) {
        EXPECT_EQ(Num2WordsKa::instance().convert(unread), unread);
    }
}

TEST(Num2WordsTest, LeavesTextThatIsNotANumberUnchanged) {
    const std::vector<std::string> inputs = {"",
                                             "-",
                                             "--",
                                             "--5",
                                             "5-",
                                             "+5",
                                             " 5",
                                             "5 ",
                                             "1.5",
                                             "1a",
                                             "a1",
                                             "-a",
                                             "\xD9\xA3" /* Arabic-Indic three */,
                                             "1\xD0",
                                             "\xFF",
                                             std::string("1\0"
                                                         "2",
                                                         3)};
    const std::vector<const Num2Words*> converters = {&Num2WordsRu::instance(),
                                                      &Num2WordsKa::instance()};
    for (const Num2Words* converter : converters) {
        for (const std::string& input : inputs) {
            EXPECT_EQ(converter->convert(input), input) << input;
        }
    }
}

TEST(Num2WordsTest, SurvivesAMillionDigits) {
    const std::string digits(1000000, '7');
    const std::string zeros(1000000, '0');
    EXPECT_EQ(Num2WordsRu::instance().convert(digits), digits);
    EXPECT_EQ(Num2WordsKa::instance().convert(digits), digits);
    EXPECT_EQ(Num2WordsRu::instance().convert("-" + zeros), "ноль");
    EXPECT_EQ(Num2WordsKa::instance().convert(zeros + "5"), "ხუთი");
    const std::string dashes(1000000, '-');
    EXPECT_EQ(Num2WordsRu::instance().convert(dashes), dashes);
}

}  // namespace
}  // namespace zelvan_tts
