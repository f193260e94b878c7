// Russian numerals in every case, gender and number, with the stress a
// reader gives them ("двадцат+ого"): cardinals ("двумст+ам двадцат+и
// одном+у"), ordinals ("две т+ысячи двадц+ать четв+ёртом") and the
// agreement of the word that follows a number.
#pragma once

#include <string>
#include <string_view>

namespace zelvan_tts {

enum class GrammarCase { Nominative, Genitive, Dative, Accusative, Instrumental, Prepositional };
// Plural stands for the plural of ordinals and of "один" (одн+и с+утки).
enum class Gender { Masculine, Feminine, Neuter, Plural };

// How a count agrees with the noun after it: 1, 21 (One); 2-4, 22 (Few);
// 0, 5-20, 25 (Many); a decimal or a fraction takes the genitive singular.
enum class CountForm { One, Few, Many, Fraction };

// The largest number the words below read: 18 digits (quintillions).
inline constexpr std::size_t kMaxNumeralDigits = 18;

// The count form of a number written as ASCII digits.
CountForm count_form(std::string_view digits);

// The words of a number given as ASCII digits (leading zeros ignored), or
// empty when it has more than kMaxNumeralDigits significant digits. A
// leading one of a scale is left unsaid ("т+ысяча", "милли+он").
std::string cardinal_words(std::string_view digits, GrammarCase grammar_case, Gender gender);

// The ordinal: only the last word declines ("две т+ысячи двадц+ать
// четв+ёртого"); a round number of thousands is one word ("двухт+ысячный").
std::string ordinal_words(std::string_view digits, GrammarCase grammar_case, Gender gender);

// The first part of a compound word: "тридцати" of "тридцатил+етний",
// "двух" of "двухэт+ажный", "сто" of "стопроц+ентный"; empty above 999.
std::string compound_stem(std::string_view digits);

// A word without its stress marks.
std::string without_stress(std::string_view word);

// The case and number a noun takes after a count in `grammar_case`:
// "две" + genitive singular, "пять" + genitive plural, "двум" + dative
// plural. True in `plural` for the plural.
GrammarCase noun_case_after(CountForm form, GrammarCase grammar_case, bool& plural);

// A hard adjective ("ц+елый") or ordinal stem with its ending: stem as
// written with its stress mark, or with the mark before the ending when
// the stem has none.
std::string adjective_form(std::string_view stem, GrammarCase grammar_case, Gender gender);

}  // namespace zelvan_tts
