#include "text/numeral_context.h"

#include <string>
#include <unordered_map>
#include <utility>

namespace zelvan_tts {

using C = GrammarCase;

bool ends_with(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

bool ends_with_any(std::string_view s, std::initializer_list<const char*> ends) {
    for (const char* e : ends)
        if (ends_with(s, e)) return true;
    return false;
}


// A finite verb or an infinitive by its ending: what follows it is its object.
// Words of four letters at least (Cyrillic letters are two bytes each).
static bool looks_like_verb(std::string_view w) {
    if (w.size() < 8) return false;
    // Reflexive verbs ("осталась") take no object.
    if (ends_with_any(w, {"ся", "сь"})) return false;
    return ends_with_any(w, {"ла", "ло", "ли", "ть", "ет",
                             "ит", "ют", "ут", "ят", "ешь", "ишь", "ете", "ите", "ал", "ил",
                             "ыл", "ел", "ёл"});
}

Governs governs(std::string_view word) {
    static const std::unordered_map<std::string, Governs> table = {
        {"к", Governs::DativeAlways},   {"ко", Governs::DativeAlways},
        {"по", Governs::Dative},        {"от", Governs::Genitive},
        {"до", Governs::Genitive},      {"из", Governs::Genitive},
        {"около", Governs::Genitive},   {"без", Governs::Genitive},
        {"для", Governs::Genitive},     {"у", Governs::Genitive},
        {"после", Governs::Genitive},   {"кроме", Governs::Genitive},
        {"свыше", Governs::Genitive},   {"более", Governs::Genitive},
        {"менее", Governs::Genitive},   {"больше", Governs::Genitive},
        {"меньше", Governs::Genitive},  {"против", Governs::Genitive},
        {"среди", Governs::Genitive},   {"вокруг", Governs::Genitive},
        {"возле", Governs::Genitive},   {"вместо", Governs::Genitive},
        {"порядка", Governs::Genitive}, {"из-за", Governs::Genitive},
        {"накануне", Governs::Genitive}, {"ради", Governs::Genitive},
        {"с", Governs::GenitiveOrWith}, {"со", Governs::GenitiveOrWith},
        {"за", Governs::AccusativeOrWith}, {"под", Governs::AccusativeOrWith},
        {"над", Governs::AccusativeOrWith}, {"между", Governs::Instrumental},
        {"перед", Governs::Instrumental}, {"в", Governs::Location},
        {"равно", Governs::DativeAlways}, {"равен", Governs::DativeAlways},
        {"равна", Governs::DativeAlways}, {"равны", Governs::DativeAlways},
        {"длиннее", Governs::Genitive}, {"короче", Governs::Genitive},
        {"старше", Governs::Genitive}, {"младше", Governs::Genitive},
        {"моложе", Governs::Genitive}, {"выше", Governs::Genitive},
        {"ниже", Governs::Genitive}, {"дороже", Governs::Genitive},
        {"дешевле", Governs::Genitive}, {"тяжелее", Governs::Genitive},
        {"легче", Governs::Genitive}, {"дальше", Governs::Genitive},
        {"тех", Governs::Genitive}, {"этих", Governs::Genitive},
        {"всех", Governs::Genitive}, {"каждых", Governs::Genitive},
        {"во", Governs::Location},      {"на", Governs::Location},
        {"о", Governs::Prepositional},  {"об", Governs::Prepositional},
        {"обо", Governs::Prepositional}, {"при", Governs::Prepositional},
    };
    const auto it = table.find(std::string(word));
    if (it != table.end()) return it->second;
    return looks_like_verb(word) ? Governs::Verb : Governs::Word;
}

static bool instrumental_ending(std::string_view noun) {
    return ends_with_any(noun, {"ами", "ями", "ьми", "ом", "ем", "ём", "ой", "ей", "ью"});
}

// The case a count takes from the word before it and the noun after it.
C count_case(Governs before, std::string_view noun, CountForm form) {
    const bool plural_dative = ends_with_any(noun, {"ам", "ям"});
    const bool plural_instrumental = ends_with_any(noun, {"ами", "ями", "ьми"});
    const bool plural_prepositional = ends_with_any(noun, {"ах", "ях"});
    switch (before) {
        case Governs::DativeAlways: return C::Dative;
        case Governs::Dative:
            // "к пят+и", but "по тр+и раза": по gives the dative to one and
            // to a noun in the dative only.
            if (form == CountForm::One || ends_with_any(noun, {"ам", "ям", "у", "ю"})) return C::Dative;
            return C::Accusative;
        case Governs::Genitive: return C::Genitive;
        case Governs::GenitiveOrWith:
            return instrumental_ending(noun) ? C::Instrumental : C::Genitive;
        case Governs::AccusativeOrWith:
            return instrumental_ending(noun) ? C::Instrumental : C::Accusative;
        case Governs::Instrumental: return C::Instrumental;
        case Governs::Prepositional: return C::Prepositional;
        case Governs::Location:
            if (plural_prepositional) return C::Prepositional;
            if (form == CountForm::One && ends_with_any(noun, {"е", "и"})) return C::Prepositional;
            return C::Accusative;
        case Governs::Verb:
            if (plural_instrumental) return C::Instrumental;
            if (plural_dative) return C::Dative;
            return C::Accusative;
        case Governs::Word:
        case Governs::Nothing:
        default:
            if (plural_instrumental) return C::Instrumental;
            // "объявили 221 участнику": one takes its noun's case.
            // "31 минуту": one with a noun in -у is its object.
            if (form == CountForm::One && ends_with_any(noun, {"у", "ю"})) return C::Accusative;
            if (plural_dative) return C::Dative;
            if (plural_prepositional) return C::Prepositional;
            return C::Nominative;
    }
}

// The case of a date, an ordinal or a year by the word before it.
C date_case(Governs before) {
    switch (before) {
        case Governs::DativeAlways: return C::Dative;
        case Governs::Dative: return C::Accusative;
        case Governs::Genitive:
        case Governs::GenitiveOrWith: return C::Genitive;
        case Governs::AccusativeOrWith: return C::Accusative;
        case Governs::Instrumental: return C::Instrumental;
        case Governs::Location:
        case Governs::Prepositional: return C::Prepositional;
        case Governs::Word:
        case Governs::Verb: return C::Genitive;  // "родился 12 апреля"
        case Governs::Nothing:
        default: return C::Nominative;
    }
}

// The gender of the noun after a count, from its ending in the case the
// count gives it.
Gender noun_gender(std::string_view noun, CountForm form, C c) {
    if (noun.empty()) return Gender::Masculine;
    if (c == C::Nominative || c == C::Accusative) {
        if (form == CountForm::One) {
            if (ends_with_any(noun, {"а", "я", "у", "ю"})) return Gender::Feminine;
            if (ends_with_any(noun, {"о", "е", "ё"})) return Gender::Neuter;
            return Gender::Masculine;
        }
        return ends_with_any(noun, {"ы", "и"}) ? Gender::Feminine : Gender::Masculine;
    }
    if (c == C::Genitive) return ends_with_any(noun, {"ы", "и"}) ? Gender::Feminine : Gender::Masculine;
    if (c == C::Dative) return ends_with(noun, "е") ? Gender::Feminine : Gender::Masculine;
    if (c == C::Instrumental)
        return ends_with_any(noun, {"ой", "ей", "ью"}) ? Gender::Feminine : Gender::Masculine;
    return Gender::Masculine;
}

extern const char* const kMonths[12];
const char* const kMonths[12] = {"январ+я", "февр+аля", "м+арта",   "апр+еля",
                                 "м+ая",    "и+юня",    "и+юля",    "+августа",
                                 "сентябр+я", "октябр+я", "ноябр+я", "декабр+я"};

int month_of(std::string_view lower_word) {
    for (int m = 0; m < 12; ++m)
        if (lower_word == without_stress(kMonths[m])) return m + 1;
    return 0;
}

// The forms of "год" and the case and number each shows.
bool year_noun(std::string_view w, C& c, bool& plural) {
    static const std::unordered_map<std::string, std::pair<C, bool>> forms = {
        {"год", {C::Nominative, false}},   {"года", {C::Genitive, false}},
        {"году", {C::Prepositional, false}}, {"годом", {C::Instrumental, false}},
        {"годе", {C::Prepositional, false}}, {"годы", {C::Nominative, true}},
        {"годов", {C::Genitive, true}},    {"годам", {C::Dative, true}},
        {"годами", {C::Instrumental, true}}, {"годах", {C::Prepositional, true}},
    };
    const auto it = forms.find(std::string(w));
    if (it == forms.end()) return false;
    c = it->second.first;
    plural = it->second.second;
    return true;
}

const char* year_word(C c, bool plural) {
    static const char* singular[6] = {"г+од", "г+ода", "г+оду", "г+од", "г+одом", "г+оду"};
    static const char* many[6] = {"г+оды", "год+ов", "год+ам", "г+оды", "год+ами", "год+ах"};
    return (plural ? many : singular)[static_cast<int>(c)];
}

// The value of a Roman numeral of capital Latin letters, or 0.
int roman_value(std::string_view s) {
    static const std::pair<const char*, int> parts[] = {
        {"M", 1000}, {"CM", 900}, {"D", 500}, {"CD", 400}, {"C", 100}, {"XC", 90}, {"L", 50},
        {"XL", 40},  {"X", 10},   {"IX", 9},  {"V", 5},    {"IV", 4},  {"I", 1}};
    if (s.empty() || s.size() > 12) return 0;
    int value = 0;
    std::size_t pos = 0;
    for (const auto& [letters, v] : parts) {
        const std::string_view l(letters);
        int repeats = 0;
        while (s.substr(pos, l.size()) == l) {
            value += v;
            pos += l.size();
            if (++repeats > (l.size() == 1 && (v == 1 || v == 10 || v == 100 || v == 1000) ? 3 : 1))
                return 0;
        }
    }
    return pos == s.size() ? value : 0;
}

}  // namespace zelvan_tts
