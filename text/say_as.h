// What SSML's <say-as> says for numbers, dates, times and telephone numbers.
// A Russian voice hears the words themselves, in the case and gender the
// form asks for ("двенадцатое апреля", "два часа тридцать минут"); a voice
// of another language hears the numbers as digits apart, for the number step
// of its own language to read.
#pragma once

#include <string>
#include <string_view>

namespace zelvan_tts {

enum class SayAs {
    Text,        // an interpretation not known here: the content as it stands
    Characters,  // letter by letter
    Cardinal,    // "-1 234" (groups apart by blanks, commas or points of three digits)
    Ordinal,     // "12", "12-й", "3-я"
    Date,        // "12.04.1961", "1961-04-12", "04/1961" by the format
    Time,        // "9:05", "12:30:15"
    Telephone,   // "+7 (800) 555-35-35"
};

// The interpretation an interpret-as value names ("cardinal", "number",
// "ordinal", "date", "time", "telephone", "characters", "spell-out"), without
// regard to case; Text for any other.
SayAs say_as_kind(std::string_view interpret_as);

// What a voice of language `lang` (ISO 639-3) says for `content` read as
// `kind` (Cardinal to Telephone). A date's `format` orders its fields by the
// letters d, m and y ("dmy", "mdy", "ymd", "dm", "my", "y"); without one a
// four-digit first field reads as "ymd", else "dmy". A time's format is
// "hms" or "hm" (a trailing "12" or "24" aside); without one the fields
// say which. Other voices hear a date's numbers in the order written, a
// time's as numbers apart, an ordinal as its number. Empty when `content` is not written as such: it is then read
// as its text.
std::string say_as_words(SayAs kind, std::string_view content, std::string_view format,
                         std::string_view lang);

}  // namespace zelvan_tts
