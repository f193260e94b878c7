#include "text/say_as.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/languages.h"
#include "text/numeral_context.h"
#include "text/russian_numerals.h"

#include <vector>

namespace zelvan_tts {

namespace {

using C = GrammarCase;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view significant(std::string_view digits) {
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    return digits;
}

int value_of(std::string_view digits) {
    digits = significant(digits);
    if (digits.size() > 6) return -1;
    int v = 0;
    for (char c : digits) v = v * 10 + (c - '0');
    return v;
}

// The length of a blank that may stand between digit groups at `pos`
// (space, no-break space, thin spaces), or 0.
std::size_t group_blank(std::string_view s, std::size_t pos) {
    static const std::string_view kBlanks[] = {" ", "\xC2\xA0", "\xE2\x80\x89", "\xE2\x80\xAF"};
    for (std::string_view b : kBlanks)
        if (s.compare(pos, b.size(), b) == 0) return b.size();
    return 0;
}

// "-1 234 567" as its sign and digits; false for anything else (a decimal
// fraction among them).
bool read_cardinal(std::string_view s, bool& negative, std::string& digits) {
    s = trim(s);
    negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    } else if (s.compare(0, 3, "\xE2\x88\x92") == 0) {  // the minus sign
        negative = true;
        s.remove_prefix(3);
    }
    digits.clear();
    std::size_t group = 0;  // digits of the group being read
    bool grouped = false;
    for (std::size_t pos = 0; pos < s.size();) {
        if (is_digit(s[pos])) {
            digits += s[pos++];
            ++group;
            continue;
        }
        std::size_t sep = group_blank(s, pos);
        if (sep == 0 && (s[pos] == ',' || s[pos] == '.' || s[pos] == '\'')) sep = 1;
        // Every group after the first has three digits, the first at most three.
        if (sep == 0 || group == 0 || group > 3 || (grouped && group != 3)) return false;
        grouped = true;
        group = 0;
        pos += sep;
    }
    return !digits.empty() && (!grouped || group == 3);
}

// The ordinal's ending after its digits ("-й", "-ого", "ая") as the case and
// gender it asks for.
bool ordinal_form(std::string_view ending, C& c, Gender& gender) {
    static const struct {
        const char* endings[3];
        C c;
        Gender gender;
    } kForms[] = {
        {{"й", "ый", "ий"}, C::Nominative, Gender::Masculine},
        {{"ой", "", ""}, C::Nominative, Gender::Masculine},
        {{"я", "ая", "яя"}, C::Nominative, Gender::Feminine},
        {{"е", "ое", "ее"}, C::Nominative, Gender::Neuter},
        {{"ые", "ие", ""}, C::Nominative, Gender::Plural},
        {{"го", "ого", "его"}, C::Genitive, Gender::Masculine},
        {{"му", "ому", "ему"}, C::Dative, Gender::Masculine},
        {{"ю", "ую", "юю"}, C::Accusative, Gender::Feminine},
    };
    c = C::Nominative;
    gender = Gender::Masculine;
    if (ending.empty()) return true;
    for (const auto& f : kForms)
        for (const char* e : f.endings)
            if (*e != '\0' && ending == e) {
                c = f.c;
                gender = f.gender;
                return true;
            }
    return false;
}

// Fields of digits apart by any of `separators`; empty when anything else
// stands among them.
std::vector<std::string_view> digit_fields(std::string_view s, std::string_view separators) {
    std::vector<std::string_view> fields;
    s = trim(s);
    std::size_t start = 0;
    for (std::size_t pos = 0; pos <= s.size(); ++pos) {
        if (pos < s.size() && is_digit(s[pos])) continue;
        if (pos < s.size() && separators.find(s[pos]) == std::string_view::npos) return {};
        if (pos == start) return {};  // two separators in a row, or one at an end
        fields.push_back(s.substr(start, pos - start));
        start = pos + 1;
    }
    return fields;
}

// The letters of `format` that are among `letters`, in order ("dmy" of
// "dd.mm.yyyy" is "dmy" too: repeats count once).
std::string format_letters(std::string_view format, std::string_view letters) {
    std::string out;
    for (char c : ascii_lower(format))
        if (letters.find(c) != std::string_view::npos && out.find(c) == std::string::npos)
            out += c;
    return out;
}

std::string join(const std::vector<std::string>& parts, const char* between) {
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) out += between;
        out += p;
    }
    return out;
}

// Russian: "ч+ас", "час+а", "час+ов" after a count of `digits`.
const char* counted(std::string_view digits, const char* one, const char* few, const char* many) {
    switch (count_form(digits)) {
        case CountForm::One: return one;
        case CountForm::Few: return few;
        default: return many;
    }
}

const char* const kMonthNames[12] = {"янв+арь", "февр+аль", "м+арт",    "апр+ель",
                                     "м+ай",    "и+юнь",    "и+юль",    "+август",
                                     "сент+ябрь", "окт+ябрь", "но+ябрь", "дек+абрь"};

std::string cardinal(std::string_view content, bool russian) {
    bool negative = false;
    std::string digits;
    if (!read_cardinal(content, negative, digits)) return {};
    if (!russian) return (negative ? "-" : "") + std::string(significant(digits));
    const std::string words = cardinal_words(digits, C::Nominative, Gender::Masculine);
    if (words.empty()) return {};
    return (negative ? "м+инус " : "") + words;
}

std::string ordinal(std::string_view content, bool russian) {
    content = trim(content);
    std::size_t n = 0;
    while (n < content.size() && is_digit(content[n])) ++n;
    if (n == 0) return {};
    const std::string_view digits = content.substr(0, n);
    std::string_view ending = content.substr(n);
    if (!ending.empty() && (ending.front() == '-' || ending.front() == '.')) ending.remove_prefix(1);
    C c;
    Gender gender;
    if (!ordinal_form(ending, c, gender)) return {};
    if (!russian) return std::string(significant(digits));
    return ordinal_words(significant(digits), c, gender);
}

std::string date(std::string_view content, std::string_view format, bool russian) {
    const std::vector<std::string_view> fields = digit_fields(content, "./- ");
    if (fields.empty()) return {};
    std::string order = format_letters(format, "dmy");
    if (order.empty()) {
        const bool first_year = fields.front().size() == 4;
        if (fields.size() == 3) order = first_year ? "ymd" : "dmy";
        else if (fields.size() == 2) order = first_year ? "ym" : fields.back().size() == 4 ? "my" : "dm";
        else if (first_year) order = "y";
    }
    if (order.size() != fields.size()) return {};
    std::string_view day, month, year;
    for (std::size_t i = 0; i < fields.size(); ++i)
        (order[i] == 'd' ? day : order[i] == 'm' ? month : year) = fields[i];
    const int d = day.empty() ? 1 : value_of(day);
    const int m = month.empty() ? 1 : value_of(month);
    if (d < 1 || d > 31 || m < 1 || m > 12 || significant(year).size() > kMaxNumeralDigits)
        return {};
    if (!russian) {
        std::vector<std::string> numbers;
        for (std::string_view f : fields) numbers.emplace_back(significant(f));
        return join(numbers, " ");
    }
    // A Russian reader says the day, the month and the year in this order
    // whatever order they are written in.
    std::vector<std::string> parts;
    if (!day.empty())
        parts.push_back(ordinal_words(significant(day), C::Nominative, Gender::Neuter));
    if (!month.empty()) parts.emplace_back(day.empty() ? kMonthNames[m - 1] : kMonths[m - 1]);
    if (!year.empty()) {
        const bool alone = day.empty() && month.empty();
        const C c = alone ? C::Nominative : C::Genitive;
        parts.push_back(ordinal_words(significant(year), c, Gender::Masculine) + " " +
                        year_word(c, false));
    }
    return join(parts, " ");
}

std::string time_of_day(std::string_view content, std::string_view format, bool russian) {
    const std::vector<std::string_view> fields = digit_fields(content, ":.");
    std::string order = format_letters(format, "hms");
    if (order.empty()) order = fields.size() == 3 ? "hms" : "hm";
    if ((order != "hm" && order != "hms") || fields.size() != order.size()) return {};
    for (std::string_view f : fields)
        if (f.size() > 2) return {};
    if (value_of(fields[0]) > 24 || value_of(fields[1]) > 59 ||
        (fields.size() == 3 && value_of(fields[2]) > 59))
        return {};
    if (!russian) {
        std::vector<std::string> numbers;
        for (std::string_view f : fields) numbers.emplace_back(significant(f));
        return join(numbers, " ");
    }
    const std::string_view h = significant(fields[0]);
    const std::string_view m = significant(fields[1]);
    std::string out = cardinal_words(h, C::Nominative, Gender::Masculine) + " " +
                      counted(h, "ч+ас", "час+а", "час+ов");
    const bool seconds = fields.size() == 3;
    if (m != "0" || seconds)
        out += " " + cardinal_words(m, C::Nominative, Gender::Feminine) + " " +
               counted(m, "мин+ута", "мин+уты", "мин+ут");
    if (seconds) {
        const std::string_view s = significant(fields[2]);
        out += " " + cardinal_words(s, C::Nominative, Gender::Feminine) + " " +
               counted(s, "сек+унда", "сек+унды", "сек+унд");
    }
    return out;
}

// Digit groups as people say them: a long group in threes, its last four
// as two pairs ("5553535": 555 35 35); each leading zero on its own.
std::string telephone(std::string_view content, bool russian) {
    content = trim(content);
    std::vector<std::string_view> groups;
    bool plus = false;
    for (std::size_t pos = 0; pos < content.size();) {
        const char c = content[pos];
        if (is_digit(c)) {
            std::size_t end = pos;
            while (end < content.size() && is_digit(content[end])) ++end;
            groups.push_back(content.substr(pos, end - pos));
            pos = end;
        } else if (c == '+' && groups.empty() && !plus) {
            plus = true;
            ++pos;
        } else if (std::string_view(" -().").find(c) != std::string_view::npos) {
            ++pos;
        } else {
            return {};
        }
    }
    if (groups.empty()) return {};
    std::vector<std::string> parts;
    for (std::string_view g : groups) {
        while (!g.empty()) {
            const std::size_t take = g.size() <= 3 ? g.size() : g.size() == 4 ? 2 : 3;
            std::string_view piece = g.substr(0, take);
            g.remove_prefix(take);
            std::vector<std::string> words;
            while (piece.size() > 1 && piece.front() == '0') {
                words.emplace_back(russian ? "н+оль" : "0");
                piece.remove_prefix(1);
            }
            words.push_back(russian ? cardinal_words(piece, C::Nominative, Gender::Masculine)
                                    : std::string(piece));
            parts.push_back(join(words, " "));
        }
    }
    if (plus && russian) parts.front().insert(0, "пл+юс ");
    return join(parts, ", ");
}

}  // namespace

SayAs say_as_kind(std::string_view interpret_as) {
    static const struct {
        const char* name;
        SayAs kind;
    } kKinds[] = {
        {"characters", SayAs::Characters}, {"spell-out", SayAs::Characters},
        {"letters", SayAs::Characters},    {"tts:char", SayAs::Characters},
        {"cardinal", SayAs::Cardinal},     {"number", SayAs::Cardinal},
        {"ordinal", SayAs::Ordinal},       {"date", SayAs::Date},
        {"time", SayAs::Time},             {"telephone", SayAs::Telephone},
    };
    for (const auto& k : kKinds)
        if (equal_ignoring_ascii_case(trim(interpret_as), k.name)) return k.kind;
    return SayAs::Text;
}

std::string say_as_words(SayAs kind, std::string_view content, std::string_view format,
                         std::string_view lang) {
    const bool russian = language_profile(lang).written_forms == WrittenForms::Russian;
    std::string words;
    switch (kind) {
        case SayAs::Cardinal: words = cardinal(content, russian); break;
        case SayAs::Ordinal: words = ordinal(content, russian); break;
        case SayAs::Date: words = date(content, format, russian); break;
        case SayAs::Time: words = time_of_day(content, format, russian); break;
        case SayAs::Telephone: words = telephone(content, russian); break;
        default: break;
    }
    // Without the stress marks, which the reading modes would read as
    // plus signs; the stress step places them again.
    return without_stress(words);
}

}  // namespace zelvan_tts
