// Written forms read as a person reads them: the text step before the
// number step that turns "10 000", "12-й", "15,5%", "12 апреля 1961 г.",
// "XX век" and "т.е." into the words a Russian reader says, with the
// numerals in the case, gender and number their context asks for and
// stress marks where a reader puts them. Only the languages whose profile
// names a reader get it (Russian now); every other text passes unchanged.
//
// The step reads each written form from a bounded neighbourhood (the word
// before it, the words after it), in one pass: no input makes it slower
// than linear.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

// One written form and what the step made of it: input bytes [begin, end)
// became output bytes [out_begin, out_end).
struct ReadingEdit {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t out_begin = 0;
    std::size_t out_end = 0;
};

// Tells the step that the user's dictionary reads this written word itself
// ("кг", "т.е."): the step then leaves it alone.
using KeepWritten = std::function<bool(std::string_view written)>;

// Whether the step acts for a voice language (ISO 639-3).
bool has_written_forms(std::string_view lang);

// The bytes [begin, end) of `text` with their written forms read, for a
// voice of language `lang`; the text around them is read as context only.
// `edits`, when given, receives every change in order.
std::string read_written_forms(std::string_view text, std::size_t begin, std::size_t end,
                               std::string_view lang, const KeepWritten& keep = {},
                               std::vector<ReadingEdit>* edits = nullptr);

// The whole text.
std::string read_written_forms(std::string_view text, std::string_view lang,
                               const KeepWritten& keep = {},
                               std::vector<ReadingEdit>* edits = nullptr);

}  // namespace zelvan_tts
