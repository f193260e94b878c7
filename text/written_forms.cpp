#include "text/written_forms.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/languages.h"
#include "text/numeral_context.h"
#include "text/russian_numerals.h"
#include "text/written_forms_tables.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace zelvan_tts {

namespace {

using C = GrammarCase;

// ---- characters and tokens --------------------------------------------------

bool is_blank(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' ||
           c == 0xA0 || c == 0x202F || c == 0x2009 || c == 0x2007;
}

bool is_letter(char32_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    if (c < 0xC0 || c == 0xD7 || c == 0xF7) return false;
    if (c >= 0x2000 && c < 0x3040) return false;
    return c != 0xFFFD;
}

bool is_upper(char32_t c) { return fold_case(c) != c; }

enum class Kind { Word, Number, Space, Mark };

struct Token {
    Kind kind;
    std::size_t begin;
    std::size_t end;
};

std::vector<Token> tokenize(std::string_view text, std::size_t from, std::size_t to) {
    std::vector<Token> tokens;
    std::size_t pos = from;
    while (pos < to) {
        const std::size_t start = pos;
        const char32_t c = decode_utf8(text, pos);
        Kind kind = Kind::Mark;
        if (c >= '0' && c <= '9') {
            kind = Kind::Number;
            while (pos < to && text[pos] >= '0' && text[pos] <= '9') ++pos;
        } else if (is_blank(c)) {
            kind = Kind::Space;
            for (std::size_t next = pos; next < to; pos = next) {
                if (!is_blank(decode_utf8(text, next))) break;
            }
        } else if (is_letter(c) || (c == '+' && pos < to)) {
            // A stress mark belongs to the word it stands in.
            std::size_t probe = pos;
            if (c == '+' && !is_letter(decode_utf8(text, probe))) {
                tokens.push_back({Kind::Mark, start, pos});
                continue;
            }
            kind = Kind::Word;
            for (std::size_t next = pos; next < to; pos = next) {
                const char32_t d = decode_utf8(text, next);
                if (!is_letter(d) && d != '+' && !(d >= 0x300 && d < 0x370)) break;
            }
        }
        tokens.push_back({kind, start, pos});
    }
    return tokens;
}




std::string capitalized(std::string_view word) {
    std::string out;
    std::size_t pos = 0;
    bool first = true;
    while (pos < word.size()) {
        char32_t c = decode_utf8(word, pos);
        if (first && c != '+') {
            // Capital letters of the alphabet's ranges lie at fixed distances.
            if (c >= 0x430 && c <= 0x44F) c -= 0x20;
            else if (c >= 0x450 && c <= 0x45F) c -= 0x50;
            else if (c >= 'a' && c <= 'z') c -= 0x20;
            first = false;
        }
        append_utf8(out, c);
    }
    return out;
}

// ---- the reader ------------------------------------------------------------

class Reader {
public:
    Reader(std::string_view text, std::size_t from, std::size_t to, std::size_t begin,
           std::size_t end, const KeepWritten& keep)
        : text_(text), t_(tokenize(text, from, to)), begin_(begin), end_(end), keep_(keep),
          tables_(russian_written_forms()) {}

    std::string run(std::vector<ReadingEdit>* edits) {
        std::size_t copied = begin_;
        std::size_t i = 0;
        while (i < t_.size()) {
            Edit e;
            const std::size_t next = read_at(i, e);
            if (next == i) {
                ++i;
                continue;
            }
            i = next;
            if (e.begin < begin_ || e.begin >= end_) continue;
            e.end = std::min(e.end, end_);
            out_.append(text_.data() + copied, e.begin - copied);
            // Words are never glued to what stands beside them.
            if (!out_.empty() && e.begin > 0 && glued_before(e.begin)) out_ += ' ';
            const std::size_t out_begin = out_.size();
            out_ += e.text;
            if (edits) edits->push_back({e.begin, e.end, out_begin, out_.size()});
            if (e.end < text_.size() && glued_after(e.end)) out_ += ' ';
            copied = e.end;
        }
        out_.append(text_.data() + copied, end_ - copied);
        return std::move(out_);
    }

private:
    struct Edit {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::string text;
    };

    // ---- tokens
    bool is(std::size_t i, Kind k) const { return i < t_.size() && t_[i].kind == k; }
    std::string_view str(std::size_t i) const {
        return text_.substr(t_[i].begin, t_[i].end - t_[i].begin);
    }
    bool mark(std::size_t i, std::string_view m) const { return is(i, Kind::Mark) && str(i) == m; }
    bool number(std::size_t i) const { return is(i, Kind::Number); }
    bool word(std::size_t i) const { return is(i, Kind::Word); }
    // A space within a line.
    bool gap(std::size_t i) const {
        return is(i, Kind::Space) && str(i).find('\n') == std::string_view::npos;
    }
    // The token after i, across one space within a line.
    std::size_t after(std::size_t i) const { return gap(i + 1) ? i + 2 : i + 1; }

    bool glued_before(std::size_t at) const {
        std::size_t p = at;
        while (p > 0 && (static_cast<unsigned char>(text_[p - 1]) & 0xC0) == 0x80) --p;
        if (p == 0) return false;
        std::size_t q = p - 1;
        while (q > 0 && (static_cast<unsigned char>(text_[q]) & 0xC0) == 0x80) --q;
        const char32_t c = decode_utf8(text_, q);
        return is_letter(c) || (c >= '0' && c <= '9');
    }
    bool glued_after(std::size_t at) const {
        std::size_t p = at;
        const char32_t c = decode_utf8(text_, p);
        return is_letter(c) || (c >= '0' && c <= '9');
    }

    // The word before token i, in small letters, or empty when punctuation
    // or a line break stands between.
    std::string word_before(std::size_t i) const {
        // A sign belongs to its number: "от −5".
        if (i >= 1 && is(i - 1, Kind::Mark) &&
            (mark(i - 1, "-") || mark(i - 1, "−") || mark(i - 1, "+") || mark(i - 1, "±")) &&
            (i == 1 || is(i - 2, Kind::Space)))
            --i;
        if (i >= 2 && gap(i - 1) && word(i - 2)) return fold_case_utf8(str(i - 2));
        return {};
    }
    Governs before(std::size_t i) const {
        // "ок. 5 км": an abbreviated preposition.
        if (i >= 3 && gap(i - 1) && mark(i - 2, ".") && word(i - 3)) {
            const auto p = tables_.phrases.find(fold_case_utf8(str(i - 3)) + ".");
            if (p != tables_.phrases.end()) return governs(without_stress(p->second));
        }
        const std::string w = word_before(i);
        return w.empty() ? Governs::Nothing : governs(w);
    }
    // The word after token i (across one space), in small letters; a
    // preposition or conjunction is no noun to agree with.
    std::string word_after(std::size_t i) const {
        const std::size_t j = after(i);
        if (!word(j)) return {};
        std::string w = fold_case_utf8(str(j));
        static const char* const kNoNoun[] = {"и", "или", "а", "но", "что", "как", "чем", "же", "ли", "не", "бы"};
        for (const char* n : kNoNoun)
            if (w == n) return {};
        // Only a preposition is no noun; a verb-like ending ("недели") may be one.
        const Governs g = governs(w);
        return g == Governs::Word || g == Governs::Verb ? w : std::string();
    }

    // ---- entry
    std::size_t read_at(std::size_t i, Edit& e) {
        const Token& tok = t_[i];
        if (tok.kind == Kind::Number) return read_number(i, i, "", e);
        if (tok.kind == Kind::Word) return read_word(i, e);
        if (tok.kind == Kind::Mark) return read_mark(i, e);
        return i;
    }

    // ---- numbers

    // A number as written from token i: its digits and the token after it.
    struct Integer {
        std::string digits;
        std::size_t last = 0;  // its last token
    };
    Integer integer_at(std::size_t i) const {
        Integer n{std::string(str(i)), i};
        // Groups of three after a blank: "10 000", "1 000 000".
        if (n.digits.size() <= 3) {
            std::size_t j = i;
            // At most the groups a numeral can name, so that no run of
            // groups is scanned twice over.
            while (n.digits.size() < kMaxNumeralDigits && is(j + 1, Kind::Space) && number(j + 2) &&
                   str(j + 2).size() == 3) {
                std::string_view space = str(j + 1);
                std::size_t p = 0;
                decode_utf8(space, p);
                if (p != space.size() || space == "\t" || space == "\n") break;
                n.digits += str(j + 2);
                j += 2;
            }
            n.last = j;
        }
        return n;
    }

    static int value(std::string_view digits) {
        if (digits.size() > 9) return -1;
        int v = 0;
        for (char c : digits) v = v * 10 + (c - '0');
        return v;
    }

    // Digits as a reader says a group of a phone number or a long string:
    // each leading zero as "ноль".
    static std::string group_reading(std::string_view digits) {
        std::string out;
        std::size_t i = 0;
        while (i + 1 < digits.size() && digits[i] == '0') {
            if (!out.empty()) out += ' ';
            out += "н+оль";
            ++i;
        }
        const std::string rest = cardinal_words(digits.substr(i), C::Nominative, Gender::Masculine);
        if (!out.empty() && !rest.empty()) out += ' ';
        return out + rest;
    }

    // A count with the unit after it; `form_digits` gives the agreement.
    std::string count_with_unit(const std::string& words, CountForm form, C c, const Noun* unit) {
        if (unit == nullptr) return words;
        bool plural = false;
        const C nc = noun_case_after(form, c, plural);
        std::string out = words;
        out += ' ';
        out += (plural ? unit->plural : unit->singular)[static_cast<std::size_t>(nc)];
        if (!unit->tail.empty()) out += ' ' + unit->tail;
        return out;
    }

    // The unit written at token j ("кг", "°C", "км/ч"), or null; `last` is
    // then its last token.
    const Noun* unit_at(std::size_t j, std::size_t& last) const {
        if (j >= t_.size() || t_[j].kind == Kind::Space) return nullptr;
        const std::string_view rest = text_.substr(t_[j].begin);
        for (const auto& [key, noun] : tables_.units) {
            if (rest.substr(0, key.size()) != key) continue;
            const std::size_t end = t_[j].begin + key.size();
            std::size_t p = end;
            if (p < text_.size() && is_letter(decode_utf8(text_, p))) continue;
            // The key must end at a token's end.
            std::size_t k = j;
            while (k < t_.size() && t_[k].end < end) ++k;
            if (k >= t_.size() || t_[k].end != end) continue;
            if (keep_ && keep_(key)) return nullptr;
            // "с", "В" and "А" are also a preposition and letters: they are
            // units only where no word follows ("10 с.", "220 В, 5 А").
            // "м" and "т" give way to a capitalised word ("5 м. Петроградская").
            const std::size_t n = after(k);
            if ((key == "с" || key == "В" || key == "А") && word(n)) continue;
            if (key == "т" && mark(k + 1, ".")) continue;
            if ((key == "м" || key == "т") && word(n)) {
                std::size_t q = 0;
                if (is_upper(decode_utf8(str(n), q))) continue;
            }
            last = k;
            return &noun;
        }
        return nullptr;
    }

    // Reads the number at token i (a sign, if any, starts at token `first`).
    std::size_t read_number(std::size_t first, std::size_t i, const std::string& sign, Edit& e) {
        e.begin = t_[first].begin;
        std::size_t last = i;
        std::string said;
        if (read_special(i, last, said) || read_plain(i, last, said)) {
            e.end = t_[last].end;
            e.text = sign.empty() ? said : sign + ' ' + said;
            return last + 1;
        }
        return first;
    }

    // Forms that are read whole: phones, dates, times, fractions, decimals,
    // ranges, ordinals, decades, years, days of a month, long strings.
    bool read_special(std::size_t i, std::size_t& last, std::string& said) {
        const std::string_view d = str(i);
        // Phone numbers: 8 (800) 555-35-35, 8-800-555-35-35.
        {
            std::size_t j = i;
            std::vector<std::string_view> groups{d};
            // "+7 495 123-45-67": groups after blanks, then a dashed tail.
            {
                std::size_t k = i;
                std::vector<std::string_view> spaced{d};
                while (spaced.size() < 6 && gap(k + 1) && number(k + 2) && str(k + 2).size() <= 4) {
                    spaced.push_back(str(k + 2));
                    k += 2;
                }
                if (k != i && mark(k + 1, "-") && number(k + 2) && mark(k + 3, "-") && number(k + 4)) {
                    groups = spaced;
                    j = k;
                }
            }
            const std::size_t open = after(j);
            if (mark(open, "(") && number(open + 1) && mark(open + 2, ")")) {
                groups.push_back(str(open + 1));
                j = after(open + 2);
                if (!number(j)) j = open + 2;
                else groups.push_back(str(j));
            }
            std::size_t dashes = 0;
            while ((mark(j + 1, "-") || mark(j + 1, "‑")) && number(j + 2)) {
                groups.push_back(str(j + 2));
                j += 2;
                ++dashes;
            }
            if (groups.size() >= 4 || (groups.size() >= 3 && dashes >= 2) ||
                (groups.size() == 3 && number(j) && j != i && !mark(j + 1, "-") &&
                 groups[1].size() == 3 && mark(after(i), "("))) {
                for (std::string_view g : groups) {
                    if (!said.empty()) said += ' ';
                    said += group_reading(g);
                }
                last = j;
                return true;
            }
        }
        // Dates: 12.04.1961.
        if (d.size() <= 2 && mark(i + 1, ".") && number(i + 2) && str(i + 2).size() == 2 &&
            mark(i + 3, ".") && number(i + 4) && (str(i + 4).size() == 4 || str(i + 4).size() == 2)) {
            const int day = value(d);
            const int month = value(str(i + 2));
            if (day >= 1 && day <= 31 && month >= 1 && month <= 12) {
                std::string year(str(i + 4));
                if (year.size() == 2) year = (value(year) <= 30 ? "20" : "19") + year;
                said = ordinal_words(d, date_case(before(i)), Gender::Neuter) + ' ' +
                       kMonths[month - 1] + ' ' + ordinal_words(year, C::Genitive, Gender::Masculine);
                last = i + 4;
                // "12.04.1961 г." and "12.04.1961 года" say the noun once.
                const std::size_t n = after(last);
                if (word(n) && (str(n) == "г" || str(n) == "года") ) {
                    last = mark(n + 1, ".") && str(n) == "г" ? n + 1 : n;
                }
                said += " г+ода";
                return true;
            }
        }
        // Times: 12:30, 7:05, 9:00:15, and "в 9.30" after a preposition of time.
        const Governs gov = before(i);
        const bool time_preposition = gov == Governs::Location || gov == Governs::DativeAlways ||
                                      gov == Governs::Genitive || gov == Governs::GenitiveOrWith;
        if (d.size() <= 2 && (mark(i + 1, ":") || (time_preposition && mark(i + 1, ".") &&
                                                    !(mark(i + 3, ".") && number(i + 4)))) && number(i + 2) && str(i + 2).size() == 2 &&
            value(d) <= 24 && value(str(i + 2)) <= 59) {
            const C c = count_case(before(i), "", CountForm::Many);
            said = cardinal_words(d, c, Gender::Masculine);
            last = i + 2;
            for (std::size_t k = i + 2;; k += 2) {
                const std::string_view m = str(k);
                said += ' ';
                said += m[0] == '0' ? group_reading(m) : cardinal_words(m, c, Gender::Feminine);
                last = k;
                if (!(mark(k + 1, ":") && number(k + 2) && str(k + 2).size() == 2)) break;
                if (mark(i + 1, ".")) break;
            }
            return true;
        }
        // Fractions: 1/2, 3/4.
        if (mark(i + 1, "/") && number(i + 2) && d.size() <= 3 && str(i + 2).size() <= 7 &&
            d[0] != '0' && str(i + 2)[0] != '0') {
            const int numerator = value(d);
            const int denominator = value(str(i + 2));
            const bool power_of_ten = str(i + 2).find_first_not_of('0', 1) == std::string::npos;
            // "13/2" of an address, a house and its building: "тринадцать дробь два".
            if (numerator > denominator && denominator <= 100) {
                said = cardinal_words(d, C::Nominative, Gender::Masculine) + " др+обь " +
                       cardinal_words(str(i + 2), C::Nominative, Gender::Masculine);
                last = i + 2;
                return true;
            }
            if ((denominator >= 2 && denominator <= 100) || power_of_ten) {
                const std::size_t u = after(i + 2);
                std::size_t unit_last = 0;
                const Noun* unit = unit_at(u, unit_last);
                const C c = count_case(before(i), word_after(unit ? unit_last : i + 2), count_form(d));
                said = cardinal_words(d, c, Gender::Feminine) + ' ' +
                       substantive(str(i + 2), d, c);
                last = i + 2;
                if (unit) {
                    said = count_with_unit(said, CountForm::Fraction, c, unit);
                    last = unit_last;
                }
                return true;
            }
        }
        // Long digit strings: groups of three.
        if (d.size() >= 13) {
            for (std::size_t k = 0; k < d.size(); k += 3) {
                if (!said.empty()) said += ' ';
                said += group_reading(d.substr(k, 3));
            }
            last = i;
            return true;
        }
        // "30-летней", "5-этажный": one word.
        if ((mark(i + 1, "-") || mark(i + 1, "‑")) && word(i + 2) && str(i + 2).size() >= 8 &&
            fold_case_utf8(str(i + 2)) == str(i + 2)) {
            const std::string stem = compound_stem(d);
            if (!stem.empty()) {
                said = stem + std::string(str(i + 2));
                last = i + 2;
                return true;
            }
        }
        // Ordinals and case endings: 12-й, 2-го, 5-х, 1990-х, 200ый.
        {
            std::size_t s = 0;
            if ((mark(i + 1, "-") || mark(i + 1, "‑")) && word(i + 2) && str(i + 2).size() <= 8) {
                s = i + 2;
            } else if (word(i + 1) && str(i + 1).size() >= 4 && str(i + 1).size() <= 6) {
                std::size_t unused = 0;
                if (unit_at(i + 1, unused) == nullptr) s = i + 1;
            }
            if (s != 0 && read_suffixed(i, s, said)) {
                last = s;
                return true;
            }
        }
        // Years: 1961 год, в 2024 году, 1961 г., 1941-1945 гг.
        if (d.size() <= 4 && d[0] != '0') {
            std::size_t j = i;
            std::string_view second;
            if ((mark(i + 1, "-") || mark(i + 1, "–") || mark(i + 1, "—")) && number(i + 2) &&
                str(i + 2).size() <= 4) {
                second = str(i + 2);
                j = i + 2;
            }
            const std::size_t n = after(j);
            C c = C::Nominative;
            bool plural = false;
            std::size_t noun_last = n;
            bool found = word(n) && year_noun(fold_case_utf8(str(n)), c, plural);
            // "2 года", "к 18 годам" count years; "в 988 году" names one.
            if (found && value(d) < 100 && fold_case_utf8(str(n)) != "году" && fold_case_utf8(str(n)) != "годе")
                found = false;
            if (found && c == C::Prepositional &&
                (before(i) == Governs::Dative || before(i) == Governs::DativeAlways))
                c = C::Dative;
            const int year = value(d);
            if (!found && word(n) && (str(n) == "г" || str(n) == "гг") && mark(n + 1, ".") &&
                year >= 1000 && year <= 2100) {
                found = true;
                plural = str(n) == "гг" || !second.empty();
                noun_last = n + 1;
                // "в 1961 г.", "к 1961 г.", "указ 1961 г." (of the year), but a
                // year alone after a comma is named: "Орлов, 1944 г.".
                c = date_case(before(i));
                if (after_month(i)) c = C::Genitive;
            }
            if (found) {
                said = ordinal_words(d, c, Gender::Masculine);
                if (!second.empty()) said += " — " + ordinal_words(second, c, Gender::Masculine);
                // "году" as written stays the text's own word; "г." is read.
                if (noun_last != n + 1) {
                    last = j;
                    return true;
                }
                said += ' ';
                said += year_word(c, plural);
                last = noun_last;
                if (end_of_sentence_after(noun_last)) said += '.';
                return true;
            }
        }
        // Days of a month: 12 апреля.
        if (d.size() <= 2) {
            const std::size_t n = after(i);
            const int day = value(d);
            // "с 1 по 5 мая": the first day of a range takes the month too.
            std::size_t m = n;
            if (word(n) && (fold_case_utf8(str(n)) == "по" || fold_case_utf8(str(n)) == "до" || str(n) == "и") &&
                number(after(n)) && str(after(n)).size() <= 2)
                m = after(after(n));
            else if ((mark(i + 1, "-") || mark(i + 1, "–")) && number(i + 2) && str(i + 2).size() <= 2)
                m = after(i + 2);
            if (day >= 1 && day <= 31 && word(m) && month_of(fold_case_utf8(str(m))) != 0) {
                // A date that opens a sentence names the day when nothing
                // follows it ("23 декабря 1992: ..."), and tells when
                // something happened when a clause does.
                // "на 1 сентября", "по 5 мая": the accusative of a date.
                C c = date_case(before(i));
                if (before(i) == Governs::Location || before(i) == Governs::Dative) c = C::Accusative;
                std::size_t tail = m;
                const std::size_t y = after(m);
                const bool year = m == n && number(y) && str(y).size() == 4 && value(str(y)) >= 1000 &&
                                  value(str(y)) <= 2100;
                if (year) tail = y;
                if (before(i) == Governs::Nothing) {
                    std::size_t k = after(tail);
                    if (year && word(k) && (str(k) == "г" || str(k) == "года")) k = after(mark(k + 1, ".") ? k + 1 : k);
                    if (word(k)) c = C::Genitive;
                }
                said = ordinal_words(d, c, Gender::Neuter);
                last = i;
                // "23 декабря 1992:" says its year as a date does, with "года".
                const std::size_t after_year = after(y);
                if (year && !(word(after_year) && (str(after_year) == "г" || fold_case_utf8(str(after_year)) == "года" ||
                                                    fold_case_utf8(str(after_year)) == "год" ||
                                                    fold_case_utf8(str(after_year)) == "году"))) {
                    said += ' ' + fold_case_utf8(str(m)) + ' ' +
                            ordinal_words(str(y), C::Genitive, Gender::Masculine) + " г+ода";
                    last = y;
                }
                return true;
            }
        }
        return false;
    }

    // Whether the number at token i follows a month's name: "12 апреля 1961 г.".
    bool after_month(std::size_t i) const {
        // Any case of a month's name: "октябрь", "апреля", "в январе".
        static const char* const kStems[] = {"январ", "феврал", "март", "апрел", "июн", "июл",
                                             "август", "сентябр", "октябр", "ноябр", "декабр"};
        if (!(i >= 2 && gap(i - 1) && word(i - 2))) return false;
        const std::string w = fold_case_utf8(str(i - 2));
        if (w == "май" || w == "мая" || w == "мае" || w == "маю" || w == "маем") return true;
        for (const char* m : kStems)
            if (w.rfind(m, 0) == 0 && w.size() <= std::string_view(m).size() + 4) return true;
        return false;
    }

    // Whether a full stop at token k also ends its sentence: the text ends,
    // or a line or a capitalised word follows.
    bool end_of_sentence_after(std::size_t k) const {
        if (k + 1 >= t_.size()) return t_[k].end >= text_.size();
        if (!is(k + 1, Kind::Space)) return false;
        if (!gap(k + 1)) return true;
        if (!word(k + 2)) return !number(k + 2);
        // An acronym ("ВВП") is no sentence's first word.
        const std::string_view next = str(k + 2);
        std::size_t q = 0;
        const bool capital = is_upper(decode_utf8(next, q));
        const bool acronym = capital && q < next.size() && is_upper(decode_utf8(next, q));
        return capital && !acronym;
    }

    // The fraction's denominator agreeing with its numerator: "вторая",
    // "пятых", "десятых".
    std::string substantive(std::string_view denominator, std::string_view numerator, C c) {
        const CountForm form = count_form(numerator);
        const bool direct = c == C::Nominative || c == C::Accusative;
        if (form == CountForm::One) return ordinal_words(denominator, c, Gender::Feminine);
        return ordinal_words(denominator, direct ? C::Genitive : c, Gender::Plural);
    }

    // A number with a written ending: the ordinal or cardinal form whose
    // last letters the ending repeats, the one the context asks for first.
    bool read_suffixed(std::size_t i, std::size_t s, std::string& said) {
        const std::string ending = fold_case_utf8(str(s));
        if (ending.find('+') != std::string::npos) return false;
        const std::string d(str(i));
        const Governs gov = before(i);
        const std::string noun = word_after(s);
        // Decades: 1990-х, 90-е.
        const bool round_ten = (d.size() == 2 || d.size() == 4) && d.back() == '0';
        C want = date_case(gov);
        if (gov == Governs::Word || gov == Governs::Nothing) want = C::Nominative;
        if (gov == Governs::Verb) want = C::Accusative;
        // "на 3-й день", but "на 5-й странице" and "в 1990-х".
        const bool direct_ending = ending == "й" || ending == "ю" || ending == "е" || ending == "ое" ||
                                   ending == "ую" || ending == "ий" || ending == "ый" || ending == "ой";
        if (gov == Governs::Location && direct_ending && !noun.empty() &&
            !noun_shows(noun, C::Prepositional))
            want = C::Accusative;
        struct Candidate {
            std::string words;
            int score;
        };
        std::vector<Candidate> found;
        static constexpr C kCases[6] = {C::Nominative,   C::Genitive, C::Dative,
                                        C::Accusative,   C::Instrumental, C::Prepositional};
        static constexpr Gender kGenders[4] = {Gender::Masculine, Gender::Feminine,
                                               Gender::Neuter, Gender::Plural};
        // "1990-е", "в 90-х"; "в 1990-м" is the year.
        const bool decade = round_ten && (ending == "е" || ending == "х" || ending == "ые" ||
                                          ending == "ых" || ending == "ыми");
        std::string base = d;
        if (decade && d.size() == 4 && d[2] != '0') base = d.substr(2);
        const Gender noun_g = noun.empty() ? Gender::Masculine
                              : ends_with_any(noun, {"а", "я", "ы", "и", "у", "ю", "ой", "ей"})
                                  ? Gender::Feminine
                                  : Gender::Masculine;
        const bool governed =
            gov != Governs::Word && gov != Governs::Nothing && gov != Governs::Verb;
        for (int ci = 0; ci < 6; ++ci) {
            for (int gi = 0; gi < 4; ++gi) {
                if (decade && kGenders[gi] != Gender::Plural) continue;
                const std::string w = ordinal_words(base, kCases[ci], kGenders[gi]);
                if (w.empty() || !ends_with(without_stress(w), ending)) continue;
                int score = 10 - ci - gi;
                if (kCases[ci] == want) score += governed ? 20 : 3;
                if (kGenders[gi] == noun_g) score += 5;
                if (noun_shows(noun, kCases[ci])) score += 4;
                if (kGenders[gi] == Gender::Plural)
                    score += ends_with_any(noun, {"ах", "ях", "ов", "ей", "ы", "и", "ам", "ям"}) ? 6 : -3;
                found.push_back({w, score});
            }
        }
        // Cardinals in an oblique case: 2-х, 5-ти, 3-мя, к 3-м часам.
        if (!decade && d.size() <= 3) {
            for (int ci = 1; ci < 6; ++ci) {
                if (kCases[ci] == C::Accusative) continue;
                const std::string w = cardinal_words(d, kCases[ci], Gender::Masculine);
                if (w.empty() || !ends_with(without_stress(w), ending)) continue;
                int score = 0;
                const bool cardinal_ending = ending == "х" || ending == "ух" || ending == "ёх" ||
                                             ending == "ти" || ending == "ми" || ending == "мя" ||
                                             ending == "ью" || ending == "и";
                if (cardinal_ending) score += 40;
                if (ending == "м" && ends_with_any(noun, {"ам", "ям"})) score += 40;
                if (kCases[ci] == want) score += 2;
                found.push_back({w, score});
            }
        }
        if (found.empty()) return false;
        said = std::max_element(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
                   return a.score < b.score;
               })->words;
        return true;
    }

    // Whether a noun's ending fits a case (the ordinal before it agrees).
    static bool noun_shows(std::string_view noun, C c) {
        switch (c) {
            case C::Nominative: return ends_with_any(noun, {"а", "я", "ы", "и", "о"});
            case C::Genitive: return ends_with_any(noun, {"а", "я", "ы", "и", "ов", "ев", "ей"});
            case C::Dative: return ends_with_any(noun, {"у", "ю", "е", "ам", "ям"});
            case C::Accusative: return ends_with_any(noun, {"у", "ю"});
            case C::Instrumental: return ends_with_any(noun, {"ом", "ем", "ой", "ей", "ами", "ями"});
            case C::Prepositional: return ends_with_any(noun, {"е", "и", "ах", "ях"});
        }
        return false;
    }

    // Integers, decimals and ranges, with a unit before or after them.
    bool read_plain(std::size_t i, std::size_t& last, std::string& said,
                    const Noun* unit_before = nullptr, std::size_t context = SIZE_MAX) {
        if (context == SIZE_MAX) context = i;
        const Integer whole = integer_at(i);
        std::size_t j = whole.last;
        std::string fraction;
        // "2.6.32" is a version, not a decimal.
        const bool dotted = i >= 2 && mark(i - 1, ".") && number(i - 2);
        if (!dotted && (mark(j + 1, ",") || mark(j + 1, ".")) && number(j + 2) && str(j + 2).size() <= 6 &&
            !(mark(j + 3, ".") && number(j + 4)) && !(mark(j + 3, ",") && number(j + 4))) {
            fraction = str(j + 2);
            j += 2;
        }
        // A range: 20-30, 5–7, 1941 — 1945.
        std::string second;
        std::size_t second_first = 0;
        {
            std::size_t k = j + 1;
            if (gap(k) && (mark(k + 1, "–") || mark(k + 1, "—")) && gap(k + 2) && number(k + 3)) {
                second_first = k + 3;
            } else if ((mark(k, "-") || mark(k, "–") || mark(k, "—")) && number(k + 1) &&
                       fraction.empty()) {
                second_first = k + 1;
            }
            if (second_first != 0) {
                const Integer b = integer_at(second_first);
                second = b.digits;
                j = b.last;
            }
        }
        std::size_t unit_last = 0;
        const Noun* unit = unit_before;
        if (unit == nullptr) {
            unit = unit_at(after(j), unit_last);
            if (unit == nullptr && !mark(j + 1, "%")) unit = unit_at(j + 1, unit_last);
        }
        const bool has_unit_after = unit != nullptr && unit_before == nullptr;
        const std::string noun = word_after(has_unit_after ? unit_last : j);
        const std::string& count_digits = second.empty() ? whole.digits : second;
        CountForm form = fraction.empty() ? count_form(count_digits) : CountForm::Fraction;
        C c = count_case(before(context), unit ? "" : noun, form);
        // "между 5 и 10": a number joined to the one before takes its case.
        const std::string joined = word_before(context);
        // "около 3 видов животных и 4 видов растений": the same noun again.
        if ((joined == "и" || joined == "или" || joined == "либо") && context >= 4 &&
            (last_number_ == context - 4 || (!noun.empty() && noun == last_noun_)))
            c = last_case_;
        last_case_ = c;
        last_noun_ = noun;
        Gender g = unit ? unit->gender : noun_gender(noun, form, c);
        if (whole.digits.size() > 1 && whole.digits[0] == '0' && fraction.empty() && second.empty() &&
            unit == nullptr) {
            said = group_reading(whole.digits);
        } else if (!fraction.empty()) {
            said = decimal(whole.digits, fraction, c);
        } else {
            said = cardinal_words(whole.digits, c, g);
            if (said.empty()) return false;
            if (!second.empty()) {
                const std::string b = cardinal_words(second, c, g);
                if (b.empty()) return false;
                said += " — " + b;
            }
        }
        said = count_with_unit(said, form, c, unit);
        last = has_unit_after ? unit_last : j;
        last_number_ = last;
        // "5 тыс. руб.": the unit after a thousand is in the genitive plural.
        if (has_unit_after && (unit->singular[0] == "т+ысяча" || unit->singular[0] == "милли+он" ||
                               unit->singular[0] == "милли+ард" || unit->singular[0] == "трилли+он")) {
            std::size_t second_last = 0;
            if (const Noun* money = unit_at(after(unit_last), second_last)) {
                const C mc = c == C::Nominative || c == C::Accusative ? C::Genitive : c;
                said += ' ' + money->plural[static_cast<std::size_t>(mc)];
                last = unit_last = second_last;
            }
        }
        // "стоит 5 руб. Потом": the unit's full stop also ends the sentence.
        if (has_unit_after && mark(unit_last, ".") && end_of_sentence_after(unit_last)) {
            said += '.';
        }
        return true;
    }

    // "3,14": три ц+елых четырн+адцать с+отых.
    std::string decimal(const std::string& whole, const std::string& fraction, C c) {
        std::string denominator = "1" + std::string(fraction.size(), '0');
        std::string out = cardinal_words(whole, c, Gender::Feminine) + ' ' +
                          substantive_adjective("ц+ел", whole, c) + ' ' +
                          cardinal_words(fraction, c, Gender::Feminine) + ' ' +
                          substantive(denominator, fraction, c);
        return out;
    }

    std::string substantive_adjective(std::string_view stem, std::string_view count, C c) {
        const CountForm form = count_form(count);
        const bool direct = c == C::Nominative || c == C::Accusative;
        if (form == CountForm::One) return adjective_form(stem, c, Gender::Feminine);
        return adjective_form(stem, direct ? C::Genitive : c, Gender::Plural);
    }

    // ---- marks: signs, currencies, №

    std::size_t read_mark(std::size_t i, Edit& e) {
        const std::string_view m = str(i);
        const bool free_before = i == 0 || is(i - 1, Kind::Space) || mark(i - 1, "(");
        // "2+2": plus, never a stress mark.
        if (m == "+" && i > 0 && number(i - 1) && number(i + 1)) {
            e.begin = t_[i].begin;
            e.end = t_[i].end;
            e.text = "пл+юс";
            return i + 1;
        }
        // "35 ± 2": plus or minus, wherever it stands before a number.
        if (m == "±" && number(after(i)) && !number(i + 1)) {
            e.begin = t_[i].begin;
            e.end = t_[i].end;
            e.text = "пл+юс-м+инус";
            return i + 1;
        }
        // Signs: -5, −5, +3, ±2.
        if ((m == "-" || m == "−" || m == "+" || m == "±") && number(i + 1) && free_before) {
            const std::string sign = m == "+" ? "пл+юс" : m == "±" ? "пл+юс-м+инус" : "м+инус";
            return read_number(i, i + 1, sign, e);
        }
        // Currencies before the number: $100, € 5.
        if (free_before || i == 0 || !word(i - 1)) {
            std::size_t unit_last = 0;
            const Noun* unit = nullptr;
            if (m == "$" || m == "€" || m == "£" || m == "¥" || m == "₽") unit = unit_at(i, unit_last);
            const std::size_t n = after(i);
            if (unit != nullptr && number(n)) {
                std::size_t last = n;
                std::string said;
                if (read_plain(n, last, said, unit, i)) {
                    e.begin = t_[i].begin;
                    e.end = t_[last].end;
                    e.text = said;
                    return last + 1;
                }
            }
        }
        // "№ 7", "§ 3": the sign's noun, the number after it read alone.
        const auto sign = tables_.signs.find(std::string(m));
        if (sign != tables_.signs.end() && (number(after(i)) || (mark(i + 1, m) && number(after(i + 1))))) {
            const bool doubled = mark(i + 1, m);
            const C c = noun_case(before(i));
            e.begin = t_[i].begin;
            e.end = t_[doubled ? i + 1 : i].end;
            e.text = (doubled ? sign->second.plural : sign->second.singular)[static_cast<std::size_t>(c)];
            return doubled ? i + 2 : i + 1;
        }
        return i;
    }

    // The case of a noun (a street, a town) after a preposition.
    static C noun_case(Governs g) {
        switch (g) {
            case Governs::DativeAlways:
            case Governs::Dative: return C::Dative;
            case Governs::Genitive:
            case Governs::GenitiveOrWith: return C::Genitive;
            case Governs::AccusativeOrWith:
            case Governs::Instrumental: return C::Instrumental;
            case Governs::Location:
            case Governs::Prepositional: return C::Prepositional;
            case Governs::Verb: return C::Accusative;
            default: return C::Nominative;
        }
    }

    // ---- words: Roman numerals and abbreviations

    std::size_t read_word(std::size_t i, Edit& e) {
        // "N 25" as "№ 25".
        if (tables_.signs.count(std::string(str(i))) && number(after(i))) return read_mark(i, e);
        if (std::size_t next = read_roman(i, e); next != i) return next;
        return read_abbreviation(i, e);
    }

    // A Roman numeral typed with Cyrillic look-alikes ("ХХ", "ХI"), which
    // counts only before a century's name.
    static std::string latin_look_alikes(std::string_view s) {
        std::string out;
        std::size_t pos = 0;
        while (pos < s.size()) {
            const char32_t c = decode_utf8(s, pos);
            if (c == 0x425) out += 'X';
            else if (c == 0x406) out += 'I';
            else if (c == 0x421) out += 'C';
            else if (c == 0x41C) out += 'M';
            else if (c < 0x80) out += static_cast<char>(c);
            else return {};
        }
        return out;
    }

    std::size_t read_roman(std::size_t i, Edit& e) {
        int v = roman_value(str(i));
        bool look_alike = false;
        if (v == 0) {
            v = roman_value(latin_look_alikes(str(i)));
            look_alike = true;
        }
        if (v == 0) return i;
        static const std::unordered_map<std::string, std::pair<C, bool>> century = {
            {"век", {C::Nominative, false}},   {"века", {C::Genitive, false}},
            {"веку", {C::Dative, false}},      {"веком", {C::Instrumental, false}},
            {"веке", {C::Prepositional, false}}, {"вв", {C::Nominative, true}},
            {"в", {C::Nominative, false}},     {"столетие", {C::Nominative, false}},
            {"столетия", {C::Genitive, false}},
        };
        static const std::unordered_map<std::string, Gender> counted = {
            {"глава", Gender::Feminine}, {"том", Gender::Masculine}, {"часть", Gender::Feminine},
            {"раздел", Gender::Masculine}, {"книга", Gender::Feminine},
            {"статья", Gender::Feminine}, {"пункт", Gender::Masculine},
            {"съезд", Gender::Masculine}, {"класс", Gender::Masculine},
            {"акт", Gender::Masculine}, {"сезон", Gender::Masculine},
            {"этап", Gender::Masculine}, {"серия", Gender::Feminine},
            {"тур", Gender::Masculine}, {"степень", Gender::Feminine},
            {"категория", Gender::Feminine}, {"группа", Gender::Feminine},
            {"квартал", Gender::Masculine}, {"дивизион", Gender::Masculine},
        };
        const std::string digits = std::to_string(v);
        // A range of centuries: XIX–XX вв.
        std::size_t j = i;
        int second = 0;
        if ((mark(i + 1, "-") || mark(i + 1, "–") || mark(i + 1, "—")) && word(i + 2)) {
            second = roman_value(str(i + 2));
            if (second != 0) j = i + 2;
        }
        const std::size_t n = after(j);
        if (word(n)) {
            const std::string w = fold_case_utf8(str(n));
            const auto it = century.find(w);
            const bool abbreviated = w == "в" || w == "вв";
            if (it != century.end() && (!abbreviated || mark(n + 1, "."))) {
                C c = it->second.first;
                bool plural = it->second.second || second != 0;
                // "XX в." named alone, "люди XIX в." of the century, "в XX в.".
                if (abbreviated)
                    c = before(i) == Governs::Nothing ? C::Nominative : date_case(before(i));
                e.begin = t_[i].begin;
                e.text = ordinal_words(digits, c, Gender::Masculine);
                if (second != 0)
                    e.text += " — " + ordinal_words(std::to_string(second), c, Gender::Masculine);
                if (abbreviated) {
                    static const char* sg[6] = {"в+ек", "в+ека", "в+еку", "в+ек", "в+еком", "в+еке"};
                    static const char* pl[6] = {"век+а", "век+ов", "век+ам", "век+а", "век+ами", "век+ах"};
                    e.text += ' ';
                    e.text += (plural ? pl : sg)[static_cast<std::size_t>(c)];
                    e.end = t_[n + 1].end;
                    if (end_of_sentence_after(n + 1)) e.text += '.';
                    return n + 2;
                }
                e.end = t_[j].end;
                return j + 1;
            }
        }
        if (second != 0 || look_alike) return i;
        // Before a counted noun: "IX класса", "на II съезде".
        if (word(n)) {
            const std::string w = fold_case_utf8(str(n));
            for (const auto& [noun, g] : counted) {
                // The noun's stem: the word without its last letter.
                std::string stem = noun;
                if (stem.size() > 4) {
                    std::size_t cut = stem.size() - 1;
                    while ((static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
                    stem.resize(cut);
                }
                if (w.rfind(stem, 0) != 0 || w.size() > stem.size() + 6) continue;
                C c = noun_case(before(i));
                if (before(i) == Governs::Nothing || before(i) == Governs::Word ||
                    before(i) == Governs::Verb) {
                    c = name_case(w, g == Gender::Feminine);
                }
                e.begin = t_[i].begin;
                e.end = t_[i].end;
                e.text = ordinal_words(digits, c, g);
                return i + 1;
            }
        }
        // After a name: Пётр I, Екатерина II; after глава, том, часть.
        if (i >= 2 && gap(i - 1) && word(i - 2)) {
            const std::string_view name = str(i - 2);
            const std::string lname = fold_case_utf8(name);
            const auto it = counted.find(lname);
            std::size_t q = 0;
            const char32_t first = decode_utf8(name, q);
            const bool cyrillic_name = first >= 0x410 && first <= 0x42F && i >= 2 &&
                                       lname.size() >= 4 &&
                                       (governs(lname) == Governs::Word || governs(lname) == Governs::Verb);
            if (it != counted.end()) {
                e.begin = t_[i].begin;
                e.end = t_[i].end;
                e.text = ordinal_words(digits, noun_case(before(i - 2)), it->second);
                return i + 1;
            }
            if (cyrillic_name) {
                // The name's own ending tells its case: "При Петре I",
                // "эпоху Николая I", "Людовику XIV", "Екатерины II".
                const bool feminine = is_queen(lname);
                const Gender g = feminine ? Gender::Feminine : Gender::Masculine;
                C c = name_case(lname, feminine);
                const Governs gov = before(i - 2);
                if (gov != Governs::Nothing && gov != Governs::Word && gov != Governs::Verb)
                    c = noun_case(gov);
                e.begin = t_[i].begin;
                e.end = t_[i].end;
                e.text = capitalized(ordinal_words(digits, c, g));
                return i + 1;
            }
            // A product's generation after a Latin name: "Pentium II".
            const bool latin_name = first >= 'A' && first <= 'Z' && v >= 2;
            if (latin_name) {
                e.begin = t_[i].begin;
                e.end = t_[i].end;
                e.text = cardinal_words(digits, C::Nominative, Gender::Masculine);
                return i + 1;
            }
        }
        return i;
    }

    // Women's names that reigns number; the rest of the names are men's.
    static bool is_queen(std::string_view name) {
        static const char* const kStems[] = {"екатерин", "елизавет", "анн", "мари", "виктори",
                                             "изабелл", "маргарит", "елен", "ольг", "софи"};
        for (const char* stem : kStems) {
            const std::string_view s(stem);
            if (name.rfind(s, 0) == 0 && name.size() <= s.size() + 4) return true;
        }
        return false;
    }

    // The case a noun or a name shows by its ending.
    static C name_case(std::string_view w, bool feminine) {
        if (feminine) {
            if (ends_with_any(w, {"ой", "ей"})) return C::Instrumental;
            if (ends_with_any(w, {"ы", "и"})) return C::Genitive;
            if (ends_with_any(w, {"у", "ю"})) return C::Accusative;
            if (ends_with(w, "е")) return C::Dative;
            return C::Nominative;
        }
        if (ends_with_any(w, {"ом", "ем", "ём"})) return C::Instrumental;
        if (ends_with_any(w, {"а", "я"})) return C::Genitive;
        if (ends_with_any(w, {"у", "ю"})) return C::Dative;
        if (ends_with(w, "е")) return C::Prepositional;
        return C::Nominative;
    }

    std::size_t read_abbreviation(std::size_t i, Edit& e) {
        // The longest run of words joined by full stops or hyphens ("т. е.",
        // "г-жа") that the tables know.
        std::string key;
        std::size_t best_last = 0;
        std::string best_key;
        std::size_t k = i;
        for (int parts = 0; parts < 4 && word(k); ++parts) {
            key += str(k);
            std::size_t last = k;
            if (mark(k + 1, ".")) {
                key += '.';
                last = k + 1;
            } else if (mark(k + 1, "-") && word(k + 2)) {
                key += '-';
                k += 2;
                continue;
            }
            const std::string folded = fold_first(key);
            if (tables_.phrases.count(folded) || tables_.nouns.count(folded)) {
                best_last = last;
                best_key = folded;
            }
            if (last == k) break;
            k = gap(last + 1) && word(last + 2) && str(last + 1).size() == 1 ? last + 2 : last + 1;
        }
        if (best_key.empty()) return i;
        const std::string written(text_.substr(t_[i].begin, t_[best_last].end - t_[i].begin));
        if (keep_ && keep_(written)) return i;
        std::size_t q = 0;
        const bool capital = is_upper(decode_utf8(str(i), q));
        std::string said;
        if (const auto p = tables_.phrases.find(best_key); p != tables_.phrases.end()) {
            // "и др.", "и пр." only after "и".
            if ((best_key == "др." || best_key == "пр.") && word_before(i) != "и") return i;
            said = p->second;
        } else {
            const AbbreviatedNoun& n = tables_.nouns.at(best_key);
            const std::size_t next = after(best_last);
            std::size_t r = 0;
            if (n.place == NounPlace::BeforeNumber && !number(next) &&
                !(word(next) && roman_value(str(next)) != 0))
                return i;
            if (n.place == NounPlace::BeforeName &&
                !(word(next) && is_upper(decode_utf8(str(next), r))))
                return i;
            said = n.noun.singular[static_cast<std::size_t>(noun_case(before(i)))];
        }
        if (capital) said = capitalized(said);
        // A noun's full stop is its own; a phrase's may also end a sentence.
        // Phrases that lead into the next word ("св. Татьяны", "т.н.
        // «свободная»") never end a sentence.
        static const char* const kLeading[] = {"св.", "им.", "т.н.", "ок.", "см.", "напр.",
                                               "англ.", "рус.", "лат."};
        bool leading = !tables_.phrases.count(best_key);
        for (const char* l : kLeading) leading = leading || best_key == l;
        const bool line_end = best_last + 1 >= t_.size() ||
                              (is(best_last + 1, Kind::Space) && !gap(best_last + 1));
        if (best_key.back() == '.' && (leading ? line_end : end_of_sentence_after(best_last)))
            said += '.';
        e.begin = t_[i].begin;
        e.end = t_[best_last].end;
        e.text = said;
        return best_last + 1;
    }

    static std::string fold_first(const std::string& s) {
        std::size_t pos = 0;
        const char32_t c = decode_utf8(s, pos);
        std::string out;
        append_utf8(out, fold_case(c));
        out.append(s, pos, std::string::npos);
        return out;
    }

    std::string_view text_;
    std::vector<Token> t_;
    std::size_t begin_;
    std::size_t end_;
    const KeepWritten& keep_;
    const WrittenFormsTables& tables_;
    std::string out_;
    // The last token of the count read last, and its case.
    std::size_t last_number_ = SIZE_MAX;
    C last_case_ = C::Nominative;
    std::string last_noun_;
};

// Bytes of context the step reads on each side of a block.
constexpr std::size_t kContextBytes = 256;

bool is_break_byte(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

}  // namespace

bool has_written_forms(std::string_view lang) {
    return language_profile(lang).written_forms == WrittenForms::Russian;
}

std::string read_written_forms(std::string_view text, std::size_t begin, std::size_t end,
                               std::string_view lang, const KeepWritten& keep,
                               std::vector<ReadingEdit>* edits) {
    if (!has_written_forms(lang)) return std::string(text.substr(begin, end - begin));
    // The context on each side starts and ends at white space, so that the
    // tokens at the block's edges are the whole text's.
    std::size_t from = begin > kContextBytes ? begin - kContextBytes : 0;
    while (from > 0 && from < begin && !is_break_byte(text[from - 1])) ++from;
    std::size_t to = std::min(text.size(), end + kContextBytes);
    while (to < text.size() && to > end && !is_break_byte(text[to])) --to;
    Reader reader(text, from, to, begin, end, keep);
    return reader.run(edits);
}

std::string read_written_forms(std::string_view text, std::string_view lang,
                               const KeepWritten& keep, std::vector<ReadingEdit>* edits) {
    return read_written_forms(text, 0, text.size(), lang, keep, edits);
}

}  // namespace zelvan_tts
