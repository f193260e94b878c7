#include "text/number_words.h"

#include <cstdint>
#include <limits>

namespace zelvan_tts {
namespace {

// What the common input checks leave of a number text.
struct NumberText {
    bool readable = false;  // an optional "-" followed by at least one digit
    bool negative = false;
    std::string_view significant;  // the digits without leading zeros; empty for zero
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

NumberText parse_number_text(std::string_view text) {
    NumberText parsed;
    std::string_view body = text;
    if (!body.empty() && body.front() == '-') {
        parsed.negative = true;
        body.remove_prefix(1);
    }
    if (body.empty()) return parsed;
    for (char c : body) {
        if (!is_digit(c)) return parsed;
    }
    std::size_t first = 0;
    while (first < body.size() && body[first] == '0') ++first;
    parsed.readable = true;
    parsed.significant = body.substr(first);
    return parsed;
}

// ---------------------------------------------------------------- Russian

constexpr std::string_view kRuUnitsMasculine[10] = {"",     "один",  "два",  "три",    "четыре",
                                                    "пять", "шесть", "семь", "восемь", "девять"};
constexpr std::string_view kRuUnitsFeminine[3] = {"", "одна", "две"};
constexpr std::string_view kRuTenToTwelve[3] = {"десять", "одиннадцать", "двенадцать"};
// Stems of 13-19, indexed by the unit digit.
constexpr std::string_view kRuTeenStems[10] = {"",    "",     "",    "три",   "четыр",
                                               "пят", "шест", "сем", "восем", "девят"};
constexpr std::string_view kRuTeenSuffix = "надцать";
// Tens 2, 3, 4 and 9 are words of their own; 5-8 are a stem and "десят".
constexpr std::string_view kRuTens[10] = {"", "", "двадцать", "тридцать", "сорок",
                                          "", "", "",         "",         "девяносто"};
constexpr std::string_view kRuTensStems[10] = {"",     "",      "",     "",       "",
                                               "пять", "шесть", "семь", "восемь", ""};
constexpr std::string_view kRuTensSuffix = "десят";
// Hundreds 1-4 are words of their own; 5-9 are a stem and "сот".
constexpr std::string_view kRuHundreds[5] = {"", "сто", "двести", "триста", "четыреста"};
constexpr std::string_view kRuHundredsStems[10] = {"",     "",      "",     "",       "",
                                                   "пять", "шесть", "семь", "восемь", "девять"};
constexpr std::string_view kRuHundredsSuffix = "сот";

constexpr std::string_view kRuThousand = "тысяч";
constexpr std::string_view kRuThousandEndings[3] = {"а", "и", ""};
constexpr std::string_view kRuMillion = "миллион";
constexpr std::string_view kRuMilliard = "миллиард";
constexpr std::string_view kRuScaleEndings[3] = {"", "а", "ов"};
// Stems of scales 4-21 (10^12 to 10^63), followed by "иллион".
constexpr std::string_view kRuScaleStems[22] = {
    "",        "",      "",        "",        "тр",       "квадр", "квинт",  "секст",
    "септ",    "окт",   "нон",     "дец",     "ундец",    "додец", "тредец", "кваттуордец",
    "квиндец", "седец", "септдец", "октодец", "новемдец", "вигинт"};
constexpr std::string_view kRuScaleSuffix = "иллион";
constexpr int kRuHighestScale = 21;

constexpr std::string_view kRuZero = "ноль";
constexpr std::string_view kRuMinus = "минус ";

// Words of one group 1-999; the thousands group takes the feminine one and two.
void append_ru_group(std::string& out, int group, bool feminine) {
    const int hundreds = group / 100;
    if (hundreds > 0) {
        if (hundreds <= 4) {
            out += kRuHundreds[hundreds];
        } else {
            out += kRuHundredsStems[hundreds];
            out += kRuHundredsSuffix;
        }
        if (group % 100 != 0) out += ' ';
    }
    const int rest = group % 100;
    if (rest >= 10 && rest <= 19) {
        if (rest <= 12) {
            out += kRuTenToTwelve[rest - 10];
        } else {
            out += kRuTeenStems[rest - 10];
            out += kRuTeenSuffix;
        }
        return;
    }
    const int tens = rest / 10;
    if (tens >= 2) {
        if (!kRuTens[tens].empty()) {
            out += kRuTens[tens];
        } else {
            out += kRuTensStems[tens];
            out += kRuTensSuffix;
        }
        if (rest % 10 != 0) out += ' ';
    }
    const int unit = rest % 10;
    if (unit == 1 || unit == 2) {
        out += feminine ? kRuUnitsFeminine[unit] : kRuUnitsMasculine[unit];
    } else if (unit >= 3) {
        out += kRuUnitsMasculine[unit];
    }
}

// Which form of the scale word follows a group: 0 after one (тысяча, миллион),
// 1 after two to four (тысячи, миллиона), 2 otherwise (тысяч, миллионов).
int ru_form(int group) {
    const int rest = group % 100;
    if (rest >= 11 && rest <= 19) return 2;
    const int unit = group % 10;
    if (unit == 1) return 0;
    if (unit >= 2 && unit <= 4) return 1;
    return 2;
}

void append_ru_scale(std::string& out, int scale, int form) {
    if (scale == 1) {
        out += kRuThousand;
        out += kRuThousandEndings[form];
        return;
    }
    if (scale == 2) {
        out += kRuMillion;
    } else if (scale == 3) {
        out += kRuMilliard;
    } else {
        out += kRuScaleStems[scale];
        out += kRuScaleSuffix;
    }
    out += kRuScaleEndings[form];
}

// ---------------------------------------------------------------- Georgian

// Unit stems (1-9), teen prefixes (11-19), zero, minus and "and".
constexpr std::string_view kKaWords[23] = {
    "",    "ერთ", "ორ",   "სამ",  "ოთხ",   "ხუთ",  "ექვს", "შვიდ", "რვა",  "ცხრა",  "",  "თერთ",
    "თორ", "ცა",  "თოთხ", "თხუთ", "თექვს", "ჩვიდ", "თვრა", "ცხრა", "ნული", "მინუს", "და"};
constexpr int kKaZero = 20;
constexpr int kKaMinus = 21;
constexpr int kKaAnd = 22;
constexpr std::string_view kKaFinal = "ი";
constexpr std::string_view kKaTen = "ათი";
constexpr std::string_view kKaTeenEnding = "მეტი";
constexpr std::string_view kKaTwenty = "ოც";
constexpr std::string_view kKaTwentyJoin = "მ";
constexpr std::string_view kKaHundred = "ას";
constexpr std::string_view kKaThousandFinal = "ათასი";
constexpr std::string_view kKaThousand = "ათას";

// The large scales, highest first. Georgian uses the short scale: trillion,
// quadrillion and quintillion carry numbers from 10^12 to the end of the
// signed 64-bit range, each with a final and a non-final form like million.
struct KaScale {
    std::uint64_t value;
    std::string_view final_form;
    std::string_view inner_form;
};
constexpr KaScale kKaScales[] = {
    {1000000000000000000ULL, "კვინტილიონი", "კვინტილიონ"},
    {1000000000000000ULL, "კვადრილიონი", "კვადრილიონ"},
    {1000000000000ULL, "ტრილიონი", "ტრილიონ"},
    {1000000000ULL, "მილიარდი", "მილიარდ"},
    {1000000ULL, "მილიონი", "მილიონ"},
};

void append_ka_below20(std::string& out, int a) {
    if (a <= 7) {
        out += kKaWords[a];
        out += kKaFinal;
    } else if (a <= 9) {
        out += kKaWords[a];  // რვა and ცხრა already end in a vowel
    } else if (a == 10) {
        out += kKaTen;
    } else {
        out += kKaWords[a];
        out += kKaTeenEnding;
    }
}

// Georgian counts in twenties below a hundred: 50 is "two twenties and ten".
void append_ka_below100(std::string& out, int a) {
    if (a < 20) {
        append_ka_below20(out, a);
        return;
    }
    const int twenties = a / 20;
    if (twenties == 1) {
        out += kKaTwenty;
    } else {
        out += kKaWords[twenties];
        if (twenties == 2 || twenties == 4) out += kKaTwentyJoin;
        out += kKaTwenty;
    }
    if (a % 20 == 0) {
        out += kKaFinal;
    } else {
        out += kKaWords[kKaAnd];
        append_ka_below20(out, a % 20);
    }
}

// Words of 1-999; the final vowel marks a number that ends there.
void append_ka_words(std::string& out, int a) {
    if (a < 100) {
        append_ka_below100(out, a);
        return;
    }
    const int hundreds = a / 100;
    if (hundreds > 1) out += kKaWords[hundreds];
    out += kKaHundred;
    if (a % 100 == 0) {
        out += kKaFinal;
    } else {
        out += ' ';
        append_ka_below100(out, a % 100);
    }
}

}  // namespace

std::string Num2WordsRu::convert(std::string_view number) const {
    const NumberText parsed = parse_number_text(number);
    if (!parsed.readable) return std::string(number);
    const std::string_view digits = parsed.significant;
    if (digits.empty()) return std::string(kRuZero);
    const int group_count = static_cast<int>((digits.size() + 2) / 3);
    // The first digit is not zero, so the highest group is the highest non-zero one.
    if (group_count - 1 > kRuHighestScale) return std::string(number);

    std::string out;
    out.reserve(digits.size() * 24 + kRuMinus.size());
    if (parsed.negative) out += kRuMinus;
    const std::size_t text_start = out.size();
    std::size_t pos = 0;
    for (int scale = group_count - 1; scale >= 0; --scale) {
        // The leftmost group may be one or two digits long.
        const std::size_t length = digits.size() - pos - static_cast<std::size_t>(scale) * 3;
        int group = 0;
        for (std::size_t i = 0; i < length; ++i) group = group * 10 + (digits[pos + i] - '0');
        pos += length;
        if (group == 0) continue;
        if (out.size() > text_start) out += ' ';
        append_ru_group(out, group, scale == 1);
        if (scale > 0) {
            out += ' ';
            append_ru_scale(out, scale, ru_form(group));
        }
    }
    return out;
}

std::string Num2WordsKa::convert(std::string_view number) const {
    const NumberText parsed = parse_number_text(number);
    if (!parsed.readable) return std::string(number);
    const std::string_view digits = parsed.significant;
    if (digits.empty()) return std::string(kKaWords[kKaZero]);

    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (digits.size() > 19)
        return std::string(number);  // also keeps the sum below from overflowing
    std::uint64_t n = 0;
    for (char c : digits) n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > kMax) return std::string(number);

    std::string out;
    out.reserve(256);
    if (parsed.negative) {
        out += kKaWords[kKaMinus];
        out += ' ';
    }
    const std::size_t text_start = out.size();
    auto separate = [&] {
        if (out.size() > text_start) out += ' ';
    };
    for (const KaScale& scale : kKaScales) {
        if (n < scale.value) continue;
        separate();
        append_ka_words(out, static_cast<int>(n / scale.value));
        out += ' ';
        out += (n % scale.value == 0) ? scale.final_form : scale.inner_form;
        n %= scale.value;
    }
    if (n >= 1000) {
        separate();
        const std::string_view thousand = (n % 1000 == 0) ? kKaThousandFinal : kKaThousand;
        if (n / 1000 != 1) {  // one thousand is the thousand word alone
            append_ka_words(out, static_cast<int>(n / 1000));
            out += ' ';
        }
        out += thousand;
        n %= 1000;
    }
    if (n > 0) {
        separate();
        append_ka_words(out, static_cast<int>(n));
    }
    return out;
}

const Num2WordsRu& Num2WordsRu::instance() {
    static const Num2WordsRu converter;
    return converter;
}

const Num2WordsKa& Num2WordsKa::instance() {
    static const Num2WordsKa converter;
    return converter;
}

}  // namespace zelvan_tts
