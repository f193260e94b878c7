#include "text/reading_modes.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/symbols.h"
#include "text/transliteration.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace zelvan_tts {

namespace {

struct Name {
    char32_t c;
    const char* name;
    // The lowest punctuation mode that speaks the name; 0 for letters, which
    // are named only when spelled.
    int level;
};

// Levels: 1 Some, 2 Most, 3 All. Hyphens and apostrophes join the parts of
// words, so only All names them.
const Name kNames[] = {
    {U'.', "точка", 3},
    {U',', "запятая", 3},
    {U'!', "восклицательный знак", 3},
    {U'?', "вопросительный знак", 3},
    {U';', "точка с запятой", 3},
    {U':', "двоеточие", 3},
    {U'\u2026', "многоточие", 3},
    {U'-', "дефис", 3},
    {U'\'', "апостроф", 3},
    {U'\u2019', "апостроф", 3},
    {U'(', "открывающая скобка", 2},
    {U')', "закрывающая скобка", 2},
    {U'[', "открывающая квадратная скобка", 2},
    {U']', "закрывающая квадратная скобка", 2},
    {U'{', "открывающая фигурная скобка", 2},
    {U'}', "закрывающая фигурная скобка", 2},
    {U'"', "кавычка", 2},
    {U'\u00AB', "открывающая кавычка", 2},
    {U'\u00BB', "закрывающая кавычка", 2},
    {U'\u201E', "открывающая кавычка", 2},
    {U'\u201C', "кавычка", 2},
    {U'\u201D', "кавычка", 2},
    {U'`', "обратный апостроф", 2},
    {U'\u2013', "тире", 2},
    {U'\u2014', "тире", 2},
    {U'#', "решётка", 1},
    {U'$', "доллар", 1},
    {U'%', "процент", 1},
    {U'&', "амперсанд", 1},
    {U'*', "звёздочка", 1},
    {U'+', "плюс", 1},
    {U'/', "косая черта", 1},
    {U'<', "меньше", 1},
    {U'=', "равно", 1},
    {U'>', "больше", 1},
    {U'@', "собака", 1},
    {U'\\', "обратная косая черта", 1},
    {U'^', "крышка", 1},
    {U'_', "подчёркивание", 1},
    {U'|', "вертикальная черта", 1},
    {U'~', "тильда", 1},
    {U'\u2116', "номер", 1},
    {U'\u00A7', "параграф", 1},
    {U'\u00B0', "градус", 1},
    {U'\u20AC', "евро", 1},
    {U'\u20BD', "рубль", 1},
    {U' ', "пробел", 0},
    {U'\t', "табуляция", 0},
    {U'\n', "новая строка", 0},
};

// Russian letter names; the alphabet in code order, ё apart.
const char* const kCyrillic[] = {
    "а", "бэ", "вэ", "гэ", "дэ", "е", "жэ", "зэ", "и", "и краткое", "ка",
    "эль", "эм", "эн", "о", "пэ", "эр", "эс", "тэ", "у", "эф", "ха",
    "цэ", "чэ", "ша", "ща", "твёрдый знак", "ы", "мягкий знак", "э", "ю", "я"};

// Latin letter names as Russian speakers say them.
const char* const kLatin[] = {"эй", "би",  "си",  "ди",  "и",  "эф",     "джи", "эйч", "ай",
                              "джей", "кей", "эл",  "эм",  "эн", "оу",     "пи",  "кью", "ар",
                              "эс", "ти",  "ю",   "ви",  "дабл ю", "экс", "уай", "зед"};

const Name* find_name(char32_t c) {
    for (const Name& n : kNames)
        if (n.c == c) return &n;
    return nullptr;
}

bool is_capital(char32_t c) { return fold_case(c) != c; }

// Whether the voices say anything for `text`: a letter of the alphabet is
// left once it is written in Cyrillic (digits are spelled out before that).
bool voice_says(const std::string& text) {
    for (char c : text)
        if (c >= '0' && c <= '9') return true;
    const std::string script = transliterate(text, "rus");
    const SymbolMap& map = SymbolMap::instance();
    std::size_t pos = 0;
    while (pos < script.size()) {
        const char32_t c = fold_case(decode_utf8(script, pos));
        if (map.find(c) >= 0 && std::u32string_view(U" !'+,-.:;?\u2014\u2026").find(c) ==
                                    std::u32string_view::npos) {
            return true;
        }
    }
    return false;
}

// The name Unicode gives `c` in small letters ("latin small letter sharp
// s"), from the Unicode character database when it is installed; else
// "символ" and its code, digit by digit.
std::string unicode_name(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(c));
    std::ifstream data("/usr/share/unicode/UnicodeData.txt");
    const std::string key = std::string(code) + ";";
    for (std::string line; std::getline(data, line);) {
        if (line.compare(0, key.size(), key) != 0) continue;
        const std::size_t end = line.find(';', key.size());
        std::string name = line.substr(key.size(), end - key.size());
        if (name.empty() || name[0] == '<') break;  // a range or a control: no name of its own
        for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return name;
    }
    std::string spoken = "символ";
    for (const char* d = code; *d != '\0'; ++d) {
        spoken += ' ';
        spoken += *d >= 'A' && *d <= 'F' ? kLatin[*d - 'A'] : std::string(1, *d);
    }
    return spoken;
}

// The name of one character when spelled; the character itself when the
// voices say it (digits then sound as numbers, other scripts as their
// sounds), else its Unicode name, so that no character passes unsaid.
std::string character_name(char32_t c) {
    const char32_t small = fold_case(c);
    if (small >= U'а' && small <= U'я') return kCyrillic[small - U'а'];
    if (small == U'ё') return "ё";
    if (small >= U'a' && small <= U'z') return kLatin[small - U'a'];
    if (const Name* n = find_name(c)) return n->name;
    std::string self;
    append_utf8(self, c);
    return voice_says(self) ? self : unicode_name(c);
}

// Appends `text`, all of it from `from`, to the last run of `items`, or to
// a new one.
void add_text(std::vector<SpeechItem>& items, std::string_view text, ByteSpan from,
              const Prosody& prosody) {
    if (items.empty() || items.back().kind != SpeechItem::Kind::Text) {
        SpeechItem run;
        run.prosody = prosody;
        items.push_back(std::move(run));
    }
    SpeechItem& run = items.back();
    run.text.append(text);
    run.source.insert(run.source.end(), text.size(), from);
}

// The document's bytes that bytes [begin, end) of a run come from.
ByteSpan source_of(const std::vector<ByteSpan>& source, std::size_t begin, std::size_t end) {
    if (begin >= source.size()) return {};
    std::size_t first = source[begin].offset;
    std::size_t last = first + source[begin].length;
    for (std::size_t i = begin + 1; i < end && i < source.size(); ++i) {
        first = std::min(first, source[i].offset);
        last = std::max(last, source[i].offset + source[i].length);
    }
    return {first, last - first};
}

// `run` with its punctuation named as `mode` says.
SpeechItem name_punctuation(const SpeechItem& run, Punctuation mode) {
    const int level = mode == Punctuation::Some   ? 1
                      : mode == Punctuation::Most ? 2
                      : mode == Punctuation::All  ? 3
                                                  : 0;
    if (level == 0) return run;
    SpeechItem out = run;
    out.text.clear();
    out.source.clear();
    const std::string_view text = run.text;
    const auto append = [&](std::string_view s, ByteSpan from) {
        out.text.append(s);
        out.source.insert(out.source.end(), s.size(), from);
    };
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t c = decode_utf8(text, pos);
        const ByteSpan from = source_of(run.source, start, pos);
        const Name* n = find_name(c);
        if (n == nullptr || n->level == 0 || n->level > level) {
            if (run.source.size() == text.size()) {
                out.text.append(text, start, pos - start);
                out.source.insert(out.source.end(), run.source.begin() + start,
                                  run.source.begin() + pos);
            } else {
                append(text.substr(start, pos - start), from);
            }
            continue;
        }
        append(" ", from);
        append(n->name, from);
        append(" ", from);
        // Sentence punctuation still shapes the melody after its name.
        if (n->level == 3 && c != U'-' && c != U'\'' && c != U'\u2019')
            append(text.substr(start, pos - start), from);
    }
    return out;
}

// An XML character entity as the CHAR request may carry one.
std::string unescape_entity(std::string_view s) {
    if (s == "&lt;") return "<";
    if (s == "&gt;") return ">";
    if (s == "&amp;") return "&";
    if (s == "&quot;") return "\"";
    if (s == "&apos;") return "'";
    if (s.size() > 3 && s.substr(0, 2) == "&#" && s.back() == ';') {
        const bool hex = s[2] == 'x' || s[2] == 'X';
        const std::string digits(s.substr(hex ? 3 : 2, s.size() - (hex ? 4 : 3)));
        char* end = nullptr;
        const unsigned long v = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
        if (!digits.empty() && *end == '\0' && v > 0 && v <= 0x10FFFF) {
            std::string out;
            append_utf8(out, static_cast<char32_t>(v));
            return out;
        }
    }
    return std::string(s);
}

struct KeyName {
    const char* key;
    const char* name;
};

const KeyName kKeys[] = {
    {"space", "пробел"},
    {"underscore", "подчёркивание"},
    {"double-quote", "кавычка"},
    {"alt", "альт"},
    {"control", "контрол"},
    {"ctrl", "контрол"},
    {"hyper", "гипер"},
    {"meta", "мета"},
    {"shift", "шифт"},
    {"super", "супер"},
    {"backspace", "бэкспейс"},
    {"break", "брейк"},
    {"delete", "делит"},
    {"down", "вниз"},
    {"end", "энд"},
    {"enter", "энтер"},
    {"escape", "эскейп"},
    {"home", "хоум"},
    {"insert", "инсерт"},
    {"left", "влево"},
    {"menu", "меню"},
    {"next", "пейдж даун"},
    {"num-lock", "нам лок"},
    {"pause", "пауза"},
    {"print", "принт скрин"},
    {"prior", "пейдж ап"},
    {"return", "ввод"},
    {"right", "вправо"},
    {"scroll-lock", "скролл лок"},
    {"tab", "таб"},
    {"up", "вверх"},
    {"window", "виндоус"},
};

std::string lower_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::vector<SpeechItem> spell(std::string_view text, Capitals capitals, const Prosody& prosody,
                              const std::vector<ByteSpan>& source) {
    std::vector<SpeechItem> items;
    bool first = true;
    ByteSpan last;  // the source of the last character spelled
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t c = decode_utf8(text, pos);
        const ByteSpan from = source_of(source, start, pos);
        if (c == U' ' || c == U'\t' || c == U'\n' || c == U'\r') {
            // Words apart; a blank itself is not named inside a text.
            if (!first) add_text(items, ". ", from, prosody);
            first = true;
            continue;
        }
        if (!first) add_text(items, ", ", last, prosody);
        first = false;
        last = from;
        if (is_capital(c) && capitals == Capitals::Spell) add_text(items, "большая ", from, prosody);
        if (is_capital(c) && capitals == Capitals::Icon) {
            SpeechItem tone;
            tone.kind = SpeechItem::Kind::Tone;
            tone.prosody = prosody;
            tone.source.push_back(from);
            items.push_back(tone);
        }
        add_text(items, character_name(c), from, prosody);
    }
    return items;
}

std::vector<SpeechItem> apply_reading_modes(const std::vector<SpeechItem>& items,
                                            const ReadingModes& modes) {
    std::vector<SpeechItem> out;
    out.reserve(items.size());
    for (const SpeechItem& item : items) {
        if (item.kind != SpeechItem::Kind::Text) {
            out.push_back(item);
        } else if (item.characters || modes.spelling) {
            for (SpeechItem& spelled :
                 spell(item.text, modes.capitals, item.prosody, item.source)) {
                spelled.voice = item.voice;
                out.push_back(std::move(spelled));
            }
        } else {
            out.push_back(name_punctuation(item, modes.punctuation));
        }
    }
    return out;
}

std::vector<SpeechItem> read_character(std::string_view character, const ReadingModes& modes) {
    const std::string c = unescape_entity(character);
    if (c == " ") {
        SpeechItem blank;
        blank.text = "пробел";
        return {blank};
    }
    return spell(c, modes.capitals, Prosody{});
}

std::vector<SpeechItem> read_key(std::string_view key, const ReadingModes& modes) {
    std::vector<SpeechItem> items;
    const auto add = [&](std::vector<SpeechItem> part) {
        if (!items.empty() && !part.empty() && part.front().kind == SpeechItem::Kind::Text &&
            items.back().kind == SpeechItem::Kind::Text) {
            items.back().text += " " + part.front().text;
            part.erase(part.begin());
        }
        for (SpeechItem& p : part) items.push_back(std::move(p));
    };
    const auto word = [](std::string text) {
        SpeechItem w;
        w.text = std::move(text);
        return std::vector<SpeechItem>{w};
    };
    // Modifiers and the key are joined by '_'; a key that is '_' itself
    // stays one part.
    std::size_t start = 0;
    while (start < key.size()) {
        std::size_t end = key.find('_', start + 1);
        if (end == std::string_view::npos) end = key.size();
        const std::string_view part = key.substr(start, end - start);
        start = end + 1;
        const std::string lower = lower_ascii(part);
        const KeyName* known = nullptr;
        for (const KeyName& k : kKeys)
            if (lower == k.key) known = &k;
        if (known != nullptr) {
            add(word(known->name));
        } else if (lower.size() >= 2 && lower[0] == 'f' &&
                   lower.find_first_not_of("0123456789", 1) == std::string::npos) {
            add(word("эф " + lower.substr(1)));
        } else if (lower.rfind("kp-", 0) == 0) {
            const std::string rest = lower.substr(3);
            std::string name = rest == "enter" ? std::string("энтер") : rest;
            if (rest.size() == 1) name = character_name(static_cast<unsigned char>(rest[0]));
            add(word("цифровой " + name));
        } else {
            add(read_character(part, modes));
        }
    }
    return items;
}

}  // namespace zelvan_tts
