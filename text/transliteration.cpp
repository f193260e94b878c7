#include "text/transliteration.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "shared/symbols/code_points.h"
#include "shared/symbols/languages.h"

namespace zelvan_tts {
namespace {

constexpr char32_t kNoCodePoint = 0xFFFFFFFF;

bool is_ascii_letter(unsigned char b) { return ((b | 0x20) >= 'a') && ((b | 0x20) <= 'z'); }

// The code point at pos by the shared lenient decoder, with pos moved past
// it; a byte that starts no well-formed character gives kNoCodePoint (which
// no table key equals) rather than U+FFFD, which a table could hold.
char32_t next_code_point(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    const char32_t cp = decode_utf8(text, pos);
    return cp == 0xFFFD && pos - start == 1 ? kNoCodePoint : cp;
}

// The code point of a text that is exactly one well-formed UTF-8 character,
// else kNoCodePoint: table keys must be, and lookups by bytes match only them.
char32_t decode_character(std::string_view character) {
    if (character.empty()) return kNoCodePoint;
    std::size_t pos = 0;
    const char32_t cp = next_code_point(character, pos);
    return pos == character.size() ? cp : kNoCodePoint;
}

// Output buffer that copies unchanged stretches of the input in one piece.
class Rewriter {
public:
    explicit Rewriter(std::string_view text) : text_(text) { out_.reserve(text.size() * 2); }
    // Replaces text_[pos, pos + length) by value.
    void replace(std::size_t pos, std::size_t length, std::string_view value) {
        out_.append(text_.data() + copied_, pos - copied_);
        out_.append(value.data(), value.size());
        copied_ = pos + length;
    }
    std::string finish() {
        out_.append(text_.data() + copied_, text_.size() - copied_);
        return std::move(out_);
    }

private:
    std::string_view text_;
    std::string out_;
    std::size_t copied_ = 0;  // input before this position is in out_
};

}  // namespace

CharMap::CharMap(std::initializer_list<TranslitEntry> entries) : entries_(entries) {
    if (entries_.empty()) return;
    char32_t low = kNoCodePoint;
    char32_t high = 0;
    for (const TranslitEntry& entry : entries_) {
        const char32_t cp = decode_character(entry.key);
        if (cp == kNoCodePoint || entry.value.empty()) {
            throw std::logic_error("transliteration table: bad single-character entry");
        }
        low = std::min(low, cp);
        high = std::max(high, cp);
    }
    first_ = low;
    slots_.assign(high - low + 1, std::string_view());
    for (const TranslitEntry& entry : entries_) {
        std::string_view& slot = slots_[decode_character(entry.key) - first_];
        if (!slot.empty()) throw std::logic_error("transliteration table: duplicate key");
        slot = entry.value;
    }
}

std::string_view CharMap::find(std::string_view character) const {
    return find(decode_character(character));
}

PrefixMap::PrefixMap(std::initializer_list<TranslitEntry> entries)
    : entries_(entries), by_first_(entries) {
    for (const TranslitEntry& entry : entries_) {
        // A key starts with a whole character: apply_script_map steps through
        // a broken sequence byte by byte and must find no key inside it.
        std::size_t first_end = 0;
        if (entry.key.empty() || entry.value.empty() ||
            next_code_point(entry.key, first_end) == kNoCodePoint) {
            throw std::logic_error("transliteration table: bad multi-character entry");
        }
    }
    std::stable_sort(by_first_.begin(), by_first_.end(),
                     [](const TranslitEntry& a, const TranslitEntry& b) {
                         const auto fa = static_cast<unsigned char>(a.key.front());
                         const auto fb = static_cast<unsigned char>(b.key.front());
                         if (fa != fb) return fa < fb;
                         return a.key.size() > b.key.size();
                     });
    for (std::size_t i = 1; i < by_first_.size(); ++i) {
        if (by_first_[i].key == by_first_[i - 1].key) {
            throw std::logic_error("transliteration table: duplicate key");
        }
    }
    // begin_[b] .. begin_[b + 1] is the run of keys whose first byte is b.
    std::size_t index = 0;
    for (std::size_t b = 0; b <= 256; ++b) {
        while (index < by_first_.size() &&
               static_cast<unsigned char>(by_first_[index].key.front()) < b) {
            ++index;
        }
        begin_[b] = static_cast<std::uint16_t>(index);
    }
}

const TranslitEntry* PrefixMap::match_slow(std::string_view text, unsigned char first) const {
    for (std::size_t i = begin_[first]; i < begin_[first + 1u]; ++i) {
        const std::string_view key = by_first_[i].key;
        if (text.size() >= key.size() && text.compare(0, key.size(), key) == 0)
            return &by_first_[i];
    }
    return nullptr;
}

const CharMap& georgian_letters() {
    static const CharMap table{
        {"ა", "а"},    // U+10D0
        {"ბ", "б"},    // U+10D1
        {"გ", "г"},    // U+10D2
        {"დ", "д"},    // U+10D3
        {"ე", "е"},    // U+10D4
        {"ვ", "в"},    // U+10D5
        {"ზ", "з"},    // U+10D6
        {"თ", "т"},    // U+10D7
        {"ი", "и"},    // U+10D8
        {"კ", "к'"},   // U+10D9
        {"ლ", "л"},    // U+10DA
        {"მ", "м"},    // U+10DB
        {"ნ", "н"},    // U+10DC
        {"ო", "о"},    // U+10DD
        {"პ", "п'"},   // U+10DE
        {"ჟ", "ж"},    // U+10DF
        {"რ", "р"},    // U+10E0
        {"ს", "с"},    // U+10E1
        {"ტ", "т'"},   // U+10E2
        {"უ", "у"},    // U+10E3
        {"ფ", "п"},    // U+10E4
        {"ქ", "к"},    // U+10E5
        {"ღ", "г"},    // U+10E6
        {"ყ", "ҡ'"},   // U+10E7
        {"შ", "ш"},    // U+10E8
        {"ჩ", "ч"},    // U+10E9
        {"ც", "ц"},    // U+10EA
        {"ძ", "дз"},   // U+10EB
        {"წ", "ць"},   // U+10EC
        {"ჭ", "ч"},    // U+10ED
        {"ხ", "х"},    // U+10EE
        {"ჯ", "дж"},   // U+10EF
        {"ჰ", "h"},    // U+10F0
        {"ჱ", "эй"},   // U+10F1
        {"ჲ", "йе"},   // U+10F2
        {"ჳ", "уиэ"},  // U+10F3
        {"ჴ", "ҡ"},    // U+10F4
        {"ჵ", "оо"},   // U+10F5
    };
    return table;
}

// Capitals give Cyrillic capitals. Of the two i letters, dotless ı and ASCII
// I read as ы, dotted İ and ASCII i as и.
const CharMap& azerbaijani_letters() {
    static const CharMap table{
        {"A", "А"},  // U+0041 -> U+0410
        {"a", "а"},  // U+0061 -> U+0430
        {"K", "К"},  // U+004B -> U+041A
        {"k", "к"},  // U+006B -> U+043A
        {"V", "В"},  // U+0056 -> U+0412
        {"v", "в"},  // U+0076 -> U+0432
        {"B", "Б"},  // U+0042 -> U+0411
        {"b", "б"},  // U+0062 -> U+0431
        {"L", "Л"},  // U+004C -> U+041B
        {"l", "л"},  // U+006C -> U+043B
        {"X", "Х"},  // U+0058 -> U+0425
        {"x", "х"},  // U+0078 -> U+0445
        {"C", "Ҹ"},  // U+0043 -> U+04B8
        {"c", "ҹ"},  // U+0063 -> U+04B9
        {"M", "М"},  // U+004D -> U+041C
        {"m", "м"},  // U+006D -> U+043C
        {"Y", "Ј"},  // U+0059 -> U+0408
        {"y", "ј"},  // U+0079 -> U+0458
        {"D", "Д"},  // U+0044 -> U+0414
        {"d", "д"},  // U+0064 -> U+0434
        {"N", "Н"},  // U+004E -> U+041D
        {"n", "н"},  // U+006E -> U+043D
        {"Z", "З"},  // U+005A -> U+0417
        {"z", "з"},  // U+007A -> U+0437
        {"E", "Е"},  // U+0045 -> U+0415
        {"e", "е"},  // U+0065 -> U+0435
        {"O", "О"},  // U+004F -> U+041E
        {"o", "о"},  // U+006F -> U+043E
        {"Ç", "Ч"},  // U+00C7 -> U+0427
        {"ç", "ч"},  // U+00E7 -> U+0447
        {"F", "Ф"},  // U+0046 -> U+0424
        {"f", "ф"},  // U+0066 -> U+0444
        {"P", "П"},  // U+0050 -> U+041F
        {"p", "п"},  // U+0070 -> U+043F
        {"Ə", "Ә"},  // U+018F -> U+04D8
        {"ə", "ә"},  // U+0259 -> U+04D9
        {"G", "Ҝ"},  // U+0047 -> U+049C
        {"g", "ҝ"},  // U+0067 -> U+049D
        {"Q", "Г"},  // U+0051 -> U+0413
        {"q", "г"},  // U+0071 -> U+0433
        {"Ğ", "Ғ"},  // U+011E -> U+0492
        {"ğ", "ғ"},  // U+011F -> U+0493
        {"H", "Һ"},  // U+0048 -> U+04BA
        {"h", "һ"},  // U+0068 -> U+04BB
        {"R", "Р"},  // U+0052 -> U+0420
        {"r", "р"},  // U+0072 -> U+0440
        {"Ö", "Ө"},  // U+00D6 -> U+04E8
        {"ö", "ө"},  // U+00F6 -> U+04E9
        {"J", "Ж"},  // U+004A -> U+0416
        {"j", "ж"},  // U+006A -> U+0436
        {"S", "С"},  // U+0053 -> U+0421
        {"s", "с"},  // U+0073 -> U+0441
        {"Ş", "Ш"},  // U+015E -> U+0428
        {"ş", "ш"},  // U+015F -> U+0448
        {"U", "У"},  // U+0055 -> U+0423
        {"u", "у"},  // U+0075 -> U+0443
        {"T", "Т"},  // U+0054 -> U+0422
        {"t", "т"},  // U+0074 -> U+0442
        {"Ü", "Ү"},  // U+00DC -> U+04AE
        {"ü", "ү"},  // U+00FC -> U+04AF
        {"I", "Ы"}, {"ı", "ы"}, {"İ", "И"}, {"i", "и"},
    };
    return table;
}

// Capitals give Cyrillic capitals; two-letter values capitalise only the
// first letter.
const CharMap& armenian_letters() {
    static const CharMap table{
        {"Ա", "А"},   // U+0531
        {"Բ", "Б"},   // U+0532
        {"Գ", "Г"},   // U+0533
        {"Դ", "Д"},   // U+0534
        {"Ե", "Ев"},  // U+0535
        {"Զ", "З"},   // U+0536
        {"Է", "Э"},   // U+0537
        {"Ը", "Ы"},   // U+0538
        {"Թ", "Т"},   // U+0539
        {"Ժ", "Ж"},   // U+053A
        {"Ի", "И"},   // U+053B
        {"Լ", "Л"},   // U+053C
        {"Խ", "Х"},   // U+053D
        {"Ծ", "Ц"},   // U+053E
        {"Կ", "К"},   // U+053F
        {"Հ", "Х"},   // U+0540
        {"Ձ", "Дз"},  // U+0541
        {"Ղ", "Х"},   // U+0542
        {"Ճ", "Ч"},   // U+0543
        {"Մ", "М"},   // U+0544
        {"Յ", "Й"},   // U+0545
        {"Ն", "Н"},   // U+0546
        {"Շ", "Ш"},   // U+0547
        {"Ո", "О"},   // U+0548
        {"Չ", "Ч"},   // U+0549
        {"Պ", "П"},   // U+054A
        {"Ջ", "Дж"},  // U+054B
        {"Ռ", "Р"},   // U+054C
        {"Ս", "С"},   // U+054D
        {"Վ", "В"},   // U+054E
        {"Տ", "Т"},   // U+054F
        {"Ր", "Р"},   // U+0550
        {"Ց", "Ц"},   // U+0551
        {"Ւ", "У"},   // U+0552
        {"Փ", "П"},   // U+0553
        {"Ք", "К"},   // U+0554
        {"Օ", "О"},   // U+0555
        {"Ֆ", "Ф"},   // U+0556
        {"ա", "а"},   // U+0561
        {"բ", "б"},   // U+0562
        {"գ", "г"},   // U+0563
        {"դ", "д"},   // U+0564
        {"ե", "ев"},  // U+0565
        {"զ", "з"},   // U+0566
        {"է", "э"},   // U+0567
        {"ը", "ы"},   // U+0568
        {"թ", "т"},   // U+0569
        {"ժ", "ж"},   // U+056A
        {"ի", "и"},   // U+056B
        {"լ", "л"},   // U+056C
        {"խ", "х"},   // U+056D
        {"ծ", "ц"},   // U+056E
        {"կ", "к"},   // U+056F
        {"հ", "х"},   // U+0570
        {"ձ", "дз"},  // U+0571
        {"ղ", "х"},   // U+0572
        {"ճ", "ч"},   // U+0573
        {"մ", "м"},   // U+0574
        {"յ", "й"},   // U+0575
        {"ն", "н"},   // U+0576
        {"շ", "ш"},   // U+0577
        {"ո", "о"},   // U+0578
        {"չ", "ч"},   // U+0579
        {"պ", "п"},   // U+057A
        {"ջ", "дж"},  // U+057B
        {"ռ", "р"},   // U+057C
        {"ս", "с"},   // U+057D
        {"վ", "в"},   // U+057E
        {"տ", "т"},   // U+057F
        {"ր", "р"},   // U+0580
        {"ց", "ц"},   // U+0581
        {"ւ", "у"},   // U+0582
        {"փ", "п"},   // U+0583
        {"ք", "к"},   // U+0584
        {"օ", "о"},   // U+0585
        {"ֆ", "ф"},   // U+0586
        {"և", "ев"},  // U+0587
    };
    return table;
}

const CharMap& uzbek_letters() {
    static const CharMap table{
        {"A", "А"}, {"a", "а"}, {"B", "Б"}, {"b", "б"}, {"D", "Д"}, {"d", "д"}, {"E", "Э"},
        {"e", "э"}, {"F", "Ф"}, {"f", "ф"}, {"G", "Г"}, {"g", "г"}, {"H", "Ҳ"}, {"h", "ҳ"},
        {"I", "И"}, {"i", "и"}, {"J", "Ж"}, {"j", "ж"}, {"K", "К"}, {"k", "к"}, {"L", "Л"},
        {"l", "л"}, {"M", "М"}, {"m", "м"}, {"N", "Н"}, {"n", "н"}, {"O", "О"}, {"o", "о"},
        {"P", "П"}, {"p", "п"}, {"Q", "Қ"}, {"q", "қ"}, {"R", "Р"}, {"r", "р"}, {"S", "С"},
        {"s", "с"}, {"T", "Т"}, {"t", "т"}, {"U", "У"}, {"u", "у"}, {"V", "В"}, {"v", "в"},
        {"X", "Х"}, {"x", "х"}, {"Y", "Й"}, {"y", "й"}, {"Z", "З"}, {"z", "з"},
    };
    return table;
}

// The turned comma U+02BB marks oʻ and gʻ; a plain apostrophe is the hard sign.
const PrefixMap& uzbek_multi_keys() {
    static const PrefixMap table{
        {"oʻ", "ў"}, {"Oʻ", "Ў"},  {"gʻ", "ғ"},  {"Gʻ", "Ғ"},  {"'", "ъ"},
        {"sh", "ш"}, {"Sh", "Ш"},  {"SH", "Ш"},  {"ch", "ч"},  {"Ch", "Ч"},
        {"CH", "Ч"}, {"ng", "нг"}, {"Ng", "Нг"}, {"NG", "НГ"},
    };
    return table;
}

const CharMap& latin_letters() {
    static const CharMap table{
        {"A", "А"}, {"a", "а"}, {"B", "Б"}, {"b", "б"}, {"C", "Ц"},  {"c", "ц"},  {"D", "Д"},
        {"d", "д"}, {"E", "Е"}, {"e", "е"}, {"F", "Ф"}, {"f", "ф"},  {"G", "Г"},  {"g", "г"},
        {"H", "Х"}, {"h", "х"}, {"I", "И"}, {"i", "и"}, {"J", "Й"},  {"j", "й"},  {"K", "К"},
        {"k", "к"}, {"L", "Л"}, {"l", "л"}, {"M", "М"}, {"m", "м"},  {"N", "Н"},  {"n", "н"},
        {"O", "О"}, {"o", "о"}, {"P", "П"}, {"p", "п"}, {"Q", "К"},  {"q", "к"},  {"R", "Р"},
        {"r", "р"}, {"S", "С"}, {"s", "с"}, {"T", "Т"}, {"t", "т"},  {"U", "У"},  {"u", "у"},
        {"V", "В"}, {"v", "в"}, {"W", "В"}, {"w", "в"}, {"X", "КС"}, {"x", "кс"}, {"Y", "Ы"},
        {"y", "ы"}, {"Z", "З"}, {"z", "з"},
    };
    return table;
}

// Each family in small, all-capital and capitalised form; two apostrophes
// are the hard sign, one the soft sign.
const PrefixMap& latin_multi_keys() {
    static const PrefixMap table{
        {"shch", "щ"}, {"SHCH", "Щ"}, {"Shch", "Щ"}, {"sch", "щ"}, {"SCH", "Щ"}, {"Sch", "Щ"},
        {"yo", "ё"},   {"YO", "Ё"},   {"Yo", "Ё"},   {"zh", "ж"},  {"ZH", "Ж"},  {"Zh", "Ж"},
        {"kh", "х"},   {"KH", "Х"},   {"Kh", "Х"},   {"ts", "ц"},  {"TS", "Ц"},  {"Ts", "Ц"},
        {"ch", "ч"},   {"CH", "Ч"},   {"Ch", "Ч"},   {"sh", "ш"},  {"SH", "Ш"},  {"Sh", "Ш"},
        {"yu", "ю"},   {"YU", "Ю"},   {"Yu", "Ю"},   {"ya", "я"},  {"YA", "Я"},  {"Ya", "Я"},
        {"ye", "е"},   {"YE", "Е"},   {"Ye", "Е"},   {"''", "ъ"},  {"'", "ь"},
    };
    return table;
}

std::string apply_script_map(std::string_view text, const CharMap& letters,
                             const PrefixMap* multi_keys) {
    Rewriter out(text);
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (multi_keys != nullptr) {
            if (const TranslitEntry* entry = multi_keys->match(text.substr(pos))) {
                out.replace(pos, entry->key.size(), entry->value);
                pos += entry->key.size();
                continue;
            }
        }
        // A broken sequence goes one byte at a time: its continuation bytes
        // start neither a character nor a key, so they stay as they are.
        const std::size_t start = pos;
        const std::string_view value = letters.find(next_code_point(text, pos));
        if (!value.empty()) out.replace(start, pos - start, value);
    }
    return out.finish();
}

std::string apply_latin_map(std::string_view text) {
    const CharMap& letters = latin_letters();
    const PrefixMap& multi_keys = latin_multi_keys();
    Rewriter out(text);
    std::size_t pos = 0;
    const std::size_t size = text.size();
    while (pos < size) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        // Only ASCII letters and the apostrophe start a key. Every other byte is
        // copied as it stands: a multi-byte character's bytes are never ASCII.
        if (!is_ascii_letter(byte) && byte != '\'') {
            ++pos;
            continue;
        }
        if (const TranslitEntry* entry = multi_keys.match(text.substr(pos))) {
            out.replace(pos, entry->key.size(), entry->value);
            pos += entry->key.size();
            continue;
        }
        const std::string_view value = letters.find(static_cast<char32_t>(byte));
        if (!value.empty()) out.replace(pos, 1, value);
        ++pos;
    }
    return out.finish();
}

std::string transliterate(std::string_view text, std::string_view lang) {
    std::string result;
    switch (language_profile(lang).script) {
        case ScriptTable::Georgian:
            result = apply_script_map(text, georgian_letters());
            break;
        case ScriptTable::Azerbaijani:
            result = apply_script_map(text, azerbaijani_letters());
            break;
        case ScriptTable::Armenian:
            result = apply_script_map(text, armenian_letters());
            break;
        case ScriptTable::Uzbek:
            result = apply_script_map(text, uzbek_letters(), &uzbek_multi_keys());
            break;
        case ScriptTable::None:
            result.assign(text.data(), text.size());
            break;
    }
    // Latin letters left over (or produced, like the Georgian h) are read with
    // the Latin tables in every language.
    const bool has_latin = std::any_of(result.begin(), result.end(), [](char c) {
        return is_ascii_letter(static_cast<unsigned char>(c));
    });
    if (has_latin) return apply_latin_map(result);
    return result;
}

}  // namespace zelvan_tts
