// What the words around a number ask of it in Russian: the case a
// preposition, a verb or the noun after it gives a numeral, the gender of
// that noun, and the words of dates (months, "год") and Roman numerals.
// Each decision reads the word before a number and the word after it only.
#pragma once

#include "text/russian_numerals.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace zelvan_tts {

// What the word before a number asks of it.
enum class Governs {
    Nothing,           // no word, or punctuation between
    Word,              // a word that is no preposition
    DativeAlways,      // к, равно
    Dative,            // по: the dative for one, else the accusative
    Genitive,          // от, до, из, около, более, длиннее, тех ...
    GenitiveOrWith,    // с: genitive, or instrumental before "друзьями"
    AccusativeOrWith,  // за, под, над: accusative, or instrumental
    Instrumental,      // между, перед
    Location,          // в, на: prepositional for dates, accusative for counts
    Prepositional,     // о, об, при
    Verb,              // попросила, тратит: the accusative of an object
};

// What a word (in small letters) asks of the number after it.
Governs governs(std::string_view word);

// The case a count takes from the word before it and the noun after it.
GrammarCase count_case(Governs before, std::string_view noun, CountForm form);

// The case of a date, an ordinal or a year by the word before it.
GrammarCase date_case(Governs before);

// The gender of the noun after a count, from its ending in the case the
// count gives it.
Gender noun_gender(std::string_view noun, CountForm form, GrammarCase c);

// The month (1-12) whose genitive ("апреля") a word is, or 0.
int month_of(std::string_view lower_word);

// The genitive of month 1-12 with its stress ("апр+еля").
extern const char* const kMonths[12];

// The case and number a form of "год" shows.
bool year_noun(std::string_view lower_word, GrammarCase& c, bool& plural);

// "г+од", "г+ода", "год+ах" in a case and number.
const char* year_word(GrammarCase c, bool plural);

// The value of a Roman numeral of capital Latin letters, or 0.
int roman_value(std::string_view s);

// Small helpers of the Russian readers.
bool ends_with(std::string_view s, std::string_view end);
bool ends_with_any(std::string_view s, std::initializer_list<const char*> ends);

}  // namespace zelvan_tts
