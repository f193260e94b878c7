#include "text/russian_numerals.h"

#include <array>
#include <vector>

namespace zelvan_tts {

namespace {

// Six forms in case order: nominative, genitive, dative, accusative,
// instrumental, prepositional.
using Forms = std::array<const char*, 6>;

constexpr Forms kOneMasculine = {"од+ин", "одног+о", "одном+у", "од+ин", "одн+им", "одн+ом"};
constexpr Forms kOneFeminine = {"одн+а", "одн+ой", "одн+ой", "одн+у", "одн+ой", "одн+ой"};
constexpr Forms kOneNeuter = {"одн+о", "одног+о", "одном+у", "одн+о", "одн+им", "одн+ом"};
constexpr Forms kOnePlural = {"одн+и", "одн+их", "одн+им", "одн+и", "одн+ими", "одн+их"};
constexpr Forms kTwo = {"дв+а", "дв+ух", "дв+ум", "дв+а", "двум+я", "дв+ух"};
constexpr Forms kTwoFeminine = {"дв+е", "дв+ух", "дв+ум", "дв+е", "двум+я", "дв+ух"};

// 3 to 19 by value; 0-2 unused.
constexpr Forms kUnitsAndTeens[20] = {
    {}, {}, {},
    {"тр+и", "тр+ёх", "тр+ём", "тр+и", "трем+я", "тр+ёх"},
    {"чет+ыре", "четыр+ёх", "четыр+ём", "чет+ыре", "четырьм+я", "четыр+ёх"},
    {"п+ять", "пят+и", "пят+и", "п+ять", "пять+ю", "пят+и"},
    {"ш+есть", "шест+и", "шест+и", "ш+есть", "шесть+ю", "шест+и"},
    {"с+емь", "сем+и", "сем+и", "с+емь", "семь+ю", "сем+и"},
    {"в+осемь", "восьм+и", "восьм+и", "в+осемь", "восемь+ю", "восьм+и"},
    {"д+евять", "девят+и", "девят+и", "д+евять", "девять+ю", "девят+и"},
    {"д+есять", "десят+и", "десят+и", "д+есять", "десять+ю", "десят+и"},
    {"од+иннадцать", "од+иннадцати", "од+иннадцати", "од+иннадцать", "од+иннадцатью",
     "од+иннадцати"},
    {"двен+адцать", "двен+адцати", "двен+адцати", "двен+адцать", "двен+адцатью", "двен+адцати"},
    {"трин+адцать", "трин+адцати", "трин+адцати", "трин+адцать", "трин+адцатью", "трин+адцати"},
    {"чет+ырнадцать", "чет+ырнадцати", "чет+ырнадцати", "чет+ырнадцать", "чет+ырнадцатью",
     "чет+ырнадцати"},
    {"пятн+адцать", "пятн+адцати", "пятн+адцати", "пятн+адцать", "пятн+адцатью", "пятн+адцати"},
    {"шестн+адцать", "шестн+адцати", "шестн+адцати", "шестн+адцать", "шестн+адцатью",
     "шестн+адцати"},
    {"семн+адцать", "семн+адцати", "семн+адцати", "семн+адцать", "семн+адцатью", "семн+адцати"},
    {"восемн+адцать", "восемн+адцати", "восемн+адцати", "восемн+адцать", "восемн+адцатью",
     "восемн+адцати"},
    {"девятн+адцать", "девятн+адцати", "девятн+адцати", "девятн+адцать", "девятн+адцатью",
     "девятн+адцати"},
};

// Tens 2-9 by tens digit.
constexpr Forms kTens[10] = {
    {}, {},
    {"дв+адцать", "двадцат+и", "двадцат+и", "дв+адцать", "двадцать+ю", "двадцат+и"},
    {"тр+идцать", "тридцат+и", "тридцат+и", "тр+идцать", "тридцать+ю", "тридцат+и"},
    {"с+орок", "сорок+а", "сорок+а", "с+орок", "сорок+а", "сорок+а"},
    {"пятьдес+ят", "пятидесят+и", "пятидесят+и", "пятьдес+ят", "пятьюдесять+ю", "пятидесят+и"},
    {"шестьдес+ят", "шестидесят+и", "шестидесят+и", "шестьдес+ят", "шестьюдесять+ю",
     "шестидесят+и"},
    {"с+емьдесят", "семидесят+и", "семидесят+и", "с+емьдесят", "семьюдесять+ю", "семидесят+и"},
    {"в+осемьдесят", "восьмидесят+и", "восьмидесят+и", "в+осемьдесят", "восемьюдесять+ю",
     "восьмидесят+и"},
    {"девян+осто", "девян+оста", "девян+оста", "девян+осто", "девян+оста", "девян+оста"},
};

// Hundreds 1-9 by hundreds digit.
constexpr Forms kHundreds[10] = {
    {},
    {"ст+о", "ст+а", "ст+а", "ст+о", "ст+а", "ст+а"},
    {"дв+ести", "двухс+от", "двумст+ам", "дв+ести", "двумяст+ами", "двухст+ах"},
    {"тр+иста", "трёхс+от", "трёмст+ам", "тр+иста", "тремяст+ами", "трёхст+ах"},
    {"чет+ыреста", "четырёхс+от", "четырёмст+ам", "чет+ыреста", "четырьмяст+ами", "четырёхст+ах"},
    {"пятьс+от", "пятис+от", "пятист+ам", "пятьс+от", "пятьюст+ами", "пятист+ах"},
    {"шестьс+от", "шестис+от", "шестист+ам", "шестьс+от", "шестьюст+ами", "шестист+ах"},
    {"семьс+от", "семис+от", "семист+ам", "семьс+от", "семьюст+ами", "семист+ах"},
    {"восемьс+от", "восьмис+от", "восьмист+ам", "восемьс+от", "восемьюст+ами", "восьмист+ах"},
    {"девятьс+от", "девятис+от", "девятист+ам", "девятьс+от", "девятьюст+ами", "девятист+ах"},
};

// The scale nouns, singular and plural, and the stems of their ordinals.
struct Scale {
    Forms singular;
    Forms plural;
    const char* ordinal_stem;
    bool feminine;
};
constexpr Scale kScales[] = {
    {},
    {{"т+ысяча", "т+ысячи", "т+ысяче", "т+ысячу", "т+ысячей", "т+ысяче"},
     {"т+ысячи", "т+ысяч", "т+ысячам", "т+ысячи", "т+ысячами", "т+ысячах"},
     "т+ысячн",
     true},
    {{"милли+он", "милли+она", "милли+ону", "милли+он", "милли+оном", "милли+оне"},
     {"милли+оны", "милли+онов", "милли+онам", "милли+оны", "милли+онами", "милли+онах"},
     "милли+онн",
     false},
    {{"милли+ард", "милли+арда", "милли+арду", "милли+ард", "милли+ардом", "милли+арде"},
     {"милли+арды", "милли+ардов", "милли+ардам", "милли+арды", "милли+ардами", "милли+ардах"},
     "милли+ардн",
     false},
    {{"трилли+он", "трилли+она", "трилли+ону", "трилли+он", "трилли+оном", "трилли+оне"},
     {"трилли+оны", "трилли+онов", "трилли+онам", "трилли+оны", "трилли+онами", "трилли+онах"},
     "трилли+онн",
     false},
    {{"квадрилли+он", "квадрилли+она", "квадрилли+ону", "квадрилли+он", "квадрилли+оном",
      "квадрилли+оне"},
     {"квадрилли+оны", "квадрилли+онов", "квадрилли+онам", "квадрилли+оны", "квадрилли+онами",
      "квадрилли+онах"},
     "квадрилли+онн",
     false},
};
constexpr std::size_t kScaleCount = sizeof(kScales) / sizeof(kScales[0]);

// Ordinal stems: units 1-9, 10-19, tens 2-9, hundreds 1-9. A stem without
// a stress mark takes the stress on its ending (втор+ой). "тр+еть" declines
// on its own (тр+етий, тр+етьего).
constexpr const char* kOrdinalUnits[10] = {nullptr, "п+ерв",  "втор",  "тр+еть", "четв+ёрт",
                                           "п+ят",  "шест",   "седьм", "восьм",  "дев+ят"};
constexpr const char* kOrdinalTeens[10] = {"дес+ят",       "од+иннадцат",  "двен+адцат",
                                           "трин+адцат",   "чет+ырнадцат", "пятн+адцат",
                                           "шестн+адцат",  "семн+адцат",   "восемн+адцат",
                                           "девятн+адцат"};
constexpr const char* kOrdinalTens[10] = {nullptr,         nullptr,         "двадц+ат",
                                          "тридц+ат",      "сороков",       "пятидес+ят",
                                          "шестидес+ят",   "семидес+ят",    "восьмидес+ят",
                                          "девян+ост"};
constexpr const char* kOrdinalHundreds[10] = {nullptr,          "с+от",       "двухс+от",
                                              "трёхс+от",       "четырёхс+от", "пятис+от",
                                              "шестис+от",      "семис+от",   "восьмис+от",
                                              "девятис+от"};

std::size_t index_of(GrammarCase c) { return static_cast<std::size_t>(c); }

void append_word(std::string& out, std::string_view word) {
    if (word.empty()) return;
    if (!out.empty()) out += ' ';
    out += word;
}


// The digits without leading zeros; "0" for none.
std::string_view significant(std::string_view digits) {
    std::size_t i = 0;
    while (i + 1 < digits.size() && digits[i] == '0') ++i;
    return digits.substr(i);
}

// Groups of three digits, lowest first.
std::vector<int> groups_of(std::string_view digits) {
    std::vector<int> groups;
    for (std::size_t end = digits.size(); end > 0;) {
        const std::size_t begin = end >= 3 ? end - 3 : 0;
        int value = 0;
        for (std::size_t i = begin; i < end; ++i) value = value * 10 + (digits[i] - '0');
        groups.push_back(value);
        end = begin;
    }
    return groups;
}

// The words of 1-999 in a case and gender.
void group_words(std::string& out, int g, GrammarCase c, Gender gender) {
    const std::size_t k = index_of(c);
    if (g >= 100) append_word(out, kHundreds[g / 100][k]);
    const int r = g % 100;
    if (r >= 10 && r < 20) {
        append_word(out, kUnitsAndTeens[r][k]);
        return;
    }
    if (r >= 20) append_word(out, kTens[r / 10][k]);
    const int u = r % 10;
    if (u == 1) {
        const Forms& one = gender == Gender::Feminine  ? kOneFeminine
                           : gender == Gender::Neuter  ? kOneNeuter
                           : gender == Gender::Plural  ? kOnePlural
                                                       : kOneMasculine;
        append_word(out, one[k]);
    } else if (u == 2) {
        append_word(out, (gender == Gender::Feminine ? kTwoFeminine : kTwo)[k]);
    } else if (u >= 3) {
        append_word(out, kUnitsAndTeens[u][k]);
    }
}

// The genitive stem of a group inside a compound ordinal: "двух", "пяти",
// "сто" for 100, "одно" for the one of "двадцатиоднот+ысячный".
std::string compound_prefix(int g) {
    if (g == 1) return "";
    std::string words;
    if (g >= 100) words += g / 100 == 1 ? "сто" : without_stress(kHundreds[g / 100][1]);
    const int r = g % 100;
    if (r >= 10 && r < 20) {
        words += without_stress(kUnitsAndTeens[r][1]);
    } else {
        if (r >= 20) words += r / 10 == 9 ? "девяносто" : without_stress(kTens[r / 10][1]);
        const int u = r % 10;
        if (u == 1) words += "одно";
        if (u == 2) words += "двух";
        if (u >= 3) words += without_stress(kUnitsAndTeens[u][1]);
    }
    return words;
}

}  // namespace

std::string without_stress(std::string_view word) {
    std::string out;
    for (char c : word)
        if (c != '+') out += c;
    return out;
}

std::string compound_stem(std::string_view digits) {
    const std::string_view d = significant(digits);
    if (d.size() > 3) return {};
    const int g = std::stoi(std::string(d));
    if (g == 0) return "нуле";
    return g == 1 ? "одно" : compound_prefix(g);
}

CountForm count_form(std::string_view digits) {
    if (digits.empty()) return CountForm::Many;
    const std::string_view d = significant(digits);
    const int last = d.back() - '0';
    const int tens = d.size() >= 2 ? d[d.size() - 2] - '0' : 0;
    if (tens == 1) return CountForm::Many;
    if (last == 1) return CountForm::One;
    if (last >= 2 && last <= 4) return CountForm::Few;
    return CountForm::Many;
}

std::string cardinal_words(std::string_view digits, GrammarCase c, Gender gender) {
    const std::string_view d = significant(digits);
    if (d.size() > kMaxNumeralDigits) return {};
    if (d == "0") {
        return c == GrammarCase::Nominative || c == GrammarCase::Accusative ? "н+оль" : "нул+я";
    }
    const std::vector<int> groups = groups_of(d);
    std::string out;
    for (std::size_t k = groups.size(); k-- > 0;) {
        const int g = groups[k];
        if (g == 0) continue;
        if (k == 0) {
            group_words(out, g, c, gender);
            break;
        }
        const Scale& scale = kScales[k];
        // A leading one of a scale goes unsaid: "т+ысяча", "милли+он".
        if (!(g == 1 && out.empty())) {
            group_words(out, g, c, scale.feminine ? Gender::Feminine : Gender::Masculine);
        }
        bool plural = false;
        const std::string group_digits = std::to_string(g);
        const GrammarCase noun = noun_case_after(count_form(group_digits), c, plural);
        append_word(out, (plural ? scale.plural : scale.singular)[index_of(noun)]);
    }
    return out;
}

std::string adjective_form(std::string_view stem, GrammarCase c, Gender gender) {
    static constexpr Forms kHard[4] = {
        {"ый", "ого", "ому", "ый", "ым", "ом"},
        {"ая", "ой", "ой", "ую", "ой", "ой"},
        {"ое", "ого", "ому", "ое", "ым", "ом"},
        {"ые", "ых", "ым", "ые", "ыми", "ых"},
    };
    // "тр+еть" with its soft endings.
    static constexpr Forms kThird[4] = {
        {"ий", "его", "ему", "ий", "им", "ем"},
        {"я", "ей", "ей", "ю", "ей", "ей"},
        {"е", "его", "ему", "е", "им", "ем"},
        {"и", "их", "им", "и", "ими", "их"},
    };
    const std::size_t g = static_cast<std::size_t>(gender);
    const std::size_t k = index_of(c);
    std::string out(stem);
    if (stem == "тр+еть") {
        // тр+етий, but тр+етьего, тр+етья.
        if (k == 0 || k == 3) {
            if (gender == Gender::Masculine) return "тр+етий";
        }
        return out + kThird[g][k];
    }
    const bool stressed_ending = stem.find('+') == std::string_view::npos;
    if (stressed_ending) {
        out += '+';
        if (gender == Gender::Masculine && (k == 0 || k == 3)) return out + "ой";
    }
    return out + kHard[g][k];
}

std::string ordinal_words(std::string_view digits, GrammarCase c, Gender gender) {
    const std::string_view d = significant(digits);
    if (d.size() > kMaxNumeralDigits) return {};
    if (d == "0") return adjective_form("нулев", c, gender);
    const std::vector<int> groups = groups_of(d);
    std::size_t lowest = 0;
    while (groups[lowest] == 0) ++lowest;
    std::string out;
    // The groups above the lowest one are said as cardinals.
    for (std::size_t k = groups.size(); k-- > lowest + 1;) {
        const int g = groups[k];
        if (g == 0) continue;
        if (!(g == 1 && out.empty()))
            group_words(out, g, GrammarCase::Nominative,
                        kScales[k].feminine ? Gender::Feminine : Gender::Masculine);
        bool plural = false;
        const GrammarCase noun =
            noun_case_after(count_form(std::to_string(g)), GrammarCase::Nominative, plural);
        append_word(out, (plural ? kScales[k].plural : kScales[k].singular)[index_of(noun)]);
    }
    const int g = groups[lowest];
    if (lowest > 0) {
        // A round number of thousands is one word: "двухт+ысячный".
        if (lowest >= kScaleCount) return {};
        append_word(out, compound_prefix(g) + adjective_form(kScales[lowest].ordinal_stem, c, gender));
        return out;
    }
    const int r = g % 100;
    const int u = r % 10;
    // The last word is the ordinal; the words before it stay cardinal.
    const char* stem = nullptr;
    if (r == 0) {
        stem = kOrdinalHundreds[g / 100];
    } else {
        if (g >= 100) append_word(out, kHundreds[g / 100][0]);
        if (r >= 10 && r < 20) {
            stem = kOrdinalTeens[r - 10];
        } else if (u == 0) {
            stem = kOrdinalTens[r / 10];
        } else {
            if (r >= 20) append_word(out, kTens[r / 10][0]);
            stem = kOrdinalUnits[u];
        }
    }
    append_word(out, adjective_form(stem, c, gender));
    return out;
}

GrammarCase noun_case_after(CountForm form, GrammarCase c, bool& plural) {
    const bool direct = c == GrammarCase::Nominative || c == GrammarCase::Accusative;
    switch (form) {
        case CountForm::One:
            plural = false;
            return c;
        case CountForm::Few:
            plural = !direct;
            return direct ? GrammarCase::Genitive : c;
        case CountForm::Fraction:
            // "двух ц+елых пят+и дес+ятых проц+ента" in every case.
            plural = false;
            return GrammarCase::Genitive;
        case CountForm::Many:
        default:
            plural = true;
            return direct ? GrammarCase::Genitive : c;
    }
}

}  // namespace zelvan_tts
