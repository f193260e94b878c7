// The tables the written-forms step reads Russian by: units and signs
// after and before numbers, abbreviations of nouns and of phrases. They are
// a data file of the language (text/ru/written_forms.tsv) built into the
// library, read once on first use.
#pragma once

#include "text/russian_numerals.h"

#include <array>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zelvan_tts {

// A noun read after a number or for an abbreviation, in every case and
// number, with the words said after it.
struct Noun {
    Gender gender = Gender::Masculine;
    std::array<std::string, 6> singular;
    std::array<std::string, 6> plural;
    std::string tail;  // said after the noun: "ц+ельсия"
};

// Where an abbreviated noun is read: anywhere, before a number ("д. 5"),
// before a name ("г. Москва").
enum class NounPlace { Any, BeforeNumber, BeforeName };

struct AbbreviatedNoun {
    Noun noun;
    NounPlace place = NounPlace::Any;
};

// The tables of one language: units and signs by their written form,
// abbreviated nouns, and phrases with what a reader says for them.
struct WrittenFormsTables {
    std::vector<std::pair<std::string, Noun>> units;  // longest key first
    std::unordered_map<std::string, Noun> signs;
    std::unordered_map<std::string, AbbreviatedNoun> nouns;
    std::unordered_map<std::string, std::string> phrases;
};

// The Russian tables, parsed on first use; lines that cannot be read are
// skipped.
const WrittenFormsTables& russian_written_forms();

}  // namespace zelvan_tts
