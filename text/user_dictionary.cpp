#include "text/user_dictionary.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/languages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

namespace zelvan_tts {

namespace fs = std::filesystem;

namespace {

constexpr char32_t kPlus = U'+';

// Letters of the scripts our voices read or transliterate. Written out here
// rather than asked of the C library, whose answer depends on the host's
// locale; combining marks count, so that a word with an acute accent stays
// one word.
bool is_letter(char32_t cp) {
    if (cp < 0x80) return (cp | 0x20) >= 'a' && (cp | 0x20) <= 'z';
    if (cp >= 0xC0 && cp <= 0x2AF) return cp != 0xD7 && cp != 0xF7;
    if (cp >= 0x300 && cp <= 0x36F) return true;
    if (cp >= 0x386 && cp <= 0x3FF) return cp != 0x387;
    if (cp >= 0x400 && cp <= 0x52F) return cp != 0x482;
    if ((cp >= 0x531 && cp <= 0x556) || (cp >= 0x561 && cp <= 0x587)) return true;
    if (cp >= 0x10A0 && cp <= 0x10FF) return cp != 0x10FB;
    if (cp >= 0x1C90 && cp <= 0x1CBF) return true;
    return (cp >= 0x1E00 && cp <= 0x1EFF) || (cp >= 0x2D00 && cp <= 0x2D25);
}

// Inside a word between two letters: п'ять, oʻzbek.
bool is_apostrophe(char32_t cp) {
    return cp == U'\'' || cp == 0x2019 || cp == 0x2BB || cp == 0x2BC;
}

bool in_pairs(char32_t cp, char32_t first, char32_t last, char32_t capital_parity) {
    return cp >= first && cp <= last && cp % 2 == capital_parity;
}

// The small letter of a capital in the scripts of is_letter (the alphabet's
// fold_case covers only what the voice can say). Anything else is itself.
char32_t small_letter(char32_t cp) {
    if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
    if (cp == 0x130) return U'i';  // Azerbaijani İ
    if (cp == 0x178) return 0xFF;
    if (cp == 0x18F) return 0x259;  // Ə
    if (in_pairs(cp, 0x100, 0x137, 0) || in_pairs(cp, 0x139, 0x148, 1) ||
        in_pairs(cp, 0x14A, 0x177, 0) || in_pairs(cp, 0x179, 0x17E, 1) ||
        in_pairs(cp, 0x1E00, 0x1EFF, 0)) {
        return cp + 1;
    }
    if ((cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2)) return cp + 32;
    if (cp == 0x386) return 0x3AC;
    if (cp >= 0x388 && cp <= 0x38A) return cp + 37;
    if (cp == 0x38C) return 0x3CC;
    if (cp == 0x38E || cp == 0x38F) return cp + 63;
    if (cp >= 0x400 && cp <= 0x40F) return cp + 80;
    if (cp >= 0x410 && cp <= 0x42F) return cp + 32;
    if (cp == 0x4C0) return 0x4CF;  // palochka
    if (in_pairs(cp, 0x460, 0x481, 0) || in_pairs(cp, 0x48A, 0x4BF, 0) ||
        in_pairs(cp, 0x4C1, 0x4CE, 1) || in_pairs(cp, 0x4D0, 0x52F, 0)) {
        return cp + 1;
    }
    if (cp >= 0x531 && cp <= 0x556) return cp + 48;
    if ((cp >= 0x1C90 && cp <= 0x1CBA) || (cp >= 0x1CBD && cp <= 0x1CBF)) return cp - 0xBC0;
    if (cp >= 0x10A0 && cp <= 0x10C5) return cp + 0x1C60;
    return cp;
}

// The capital of a small letter, the inverse of small_letter. Georgian keeps
// its one case: its capitals only serve titles.
char32_t capital_letter(char32_t cp) {
    if (cp < 0x80) return cp >= 'a' && cp <= 'z' ? cp - 32 : cp;
    if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
    if (cp == 0x131) return U'I';  // Azerbaijani ı
    if (cp == 0xFF) return 0x178;
    if (cp == 0x259) return 0x18F;
    if (in_pairs(cp, 0x101, 0x137, 1) || in_pairs(cp, 0x13A, 0x148, 0) ||
        in_pairs(cp, 0x14B, 0x177, 1) || in_pairs(cp, 0x17A, 0x17E, 0) ||
        in_pairs(cp, 0x1E01, 0x1EFF, 1)) {
        return cp - 1;
    }
    if (cp >= 0x3B1 && cp <= 0x3C9 && cp != 0x3C2) return cp - 32;
    if (cp == 0x3AC) return 0x386;
    if (cp >= 0x3AD && cp <= 0x3AF) return cp - 37;
    if (cp == 0x3CC) return 0x38C;
    if (cp == 0x3CD || cp == 0x3CE) return cp - 63;
    if (cp >= 0x430 && cp <= 0x44F) return cp - 32;
    if (cp >= 0x450 && cp <= 0x45F) return cp - 80;
    if (cp == 0x4CF) return 0x4C0;
    if (in_pairs(cp, 0x461, 0x481, 1) || in_pairs(cp, 0x48B, 0x4BF, 1) ||
        in_pairs(cp, 0x4C2, 0x4CE, 0) || in_pairs(cp, 0x4D1, 0x52F, 1)) {
        return cp - 1;
    }
    if (cp >= 0x561 && cp <= 0x586) return cp - 48;
    return cp;
}

bool is_capital(char32_t cp) { return small_letter(cp) != cp; }

// A code point of valid UTF-8 at `pos`; a U+FFFD that stands for a bad byte
// comes back as kBadByte.
constexpr char32_t kBadByte = 0x110000;
char32_t next_code_point(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    const char32_t cp = decode_utf8(text, pos);
    return cp == 0xFFFD && pos - start == 1 ? kBadByte : cp;
}

bool is_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
        } else if (next_code_point(text, i) == kBadByte) {
            return false;
        }
    }
    return true;
}

// Whether a word goes on at `pos`: a letter, or a "+" or an apostrophe
// right before one. `first` tells a word's start, where an apostrophe is a
// quotation mark instead.
bool word_goes_on(std::string_view text, std::size_t pos, bool first = false) {
    if (pos >= text.size()) return false;
    const char32_t cp = decode_utf8(text, pos);
    if (is_letter(cp)) return true;
    if (cp != kPlus && (first || !is_apostrophe(cp))) return false;
    return pos < text.size() && is_letter(decode_utf8(text, pos));
}

// How a word is compared: the three apostrophes in use are one.
char32_t same_apostrophe(char32_t cp) { return is_apostrophe(cp) ? U'\'' : cp; }

// ... and in any case.
char32_t any_case(char32_t cp) { return same_apostrophe(small_letter(cp)); }

// The end of the word that starts at `pos`; the word, compared in any case,
// replaces `small`.
std::size_t word_end(std::string_view text, std::size_t pos, std::string& small) {
    small.clear();
    while (word_goes_on(text, pos)) append_utf8(small, any_case(decode_utf8(text, pos)));
    return pos;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

DictionaryLine bad_line(std::string problem) {
    DictionaryLine line;
    line.kind = DictionaryLine::Bad;
    line.problem = std::move(problem);
    return line;
}

// `replacement` with its first letter a capital.
void append_capitalised(std::string& out, std::string_view replacement) {
    std::size_t i = 0;
    while (i < replacement.size()) {
        const std::size_t start = i;
        const char32_t cp = decode_utf8(replacement, i);
        if (is_letter(cp)) {
            out.append(replacement.substr(0, start));
            append_utf8(out, capital_letter(cp));
            out.append(replacement.substr(i));
            return;
        }
    }
    out.append(replacement);
}

}  // namespace

std::string dictionary_language(std::string_view name) {
    std::string code;
    for (const char c : name) {
        if (!((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) return {};
        code.push_back(static_cast<char>(c | 0x20));
    }
    // The codes themselves, their two-letter codes, and the names users know
    // from the voice keys (erz) and the stress models' folders (ua, by).
    for (const LanguageProfile& profile : language_profiles) {
        const bool two_letter = *profile.two_letter != '\0' && code == profile.two_letter;
        const bool accentor = *profile.accentor != '\0' && code == profile.accentor;
        if (code == profile.iso639_3 || two_letter || code == profile.voice_key || accentor) {
            return profile.iso639_3;
        }
    }
    return {};
}

DictionaryLine parse_dictionary_line(std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (!is_utf8(text)) return bad_line("not UTF-8 text");
    text = trim(text.substr(0, text.find('#')));
    DictionaryLine line;
    if (text.empty()) return line;

    if (text.front() == '[') {
        if (text.size() < 2 || text.back() != ']') {
            return bad_line("a section line is a language in brackets, as [ru] or [kk]");
        }
        const std::string_view name = trim(text.substr(1, text.size() - 2));
        line.kind = DictionaryLine::Section;
        line.lang = dictionary_language(name);
        if (line.lang.empty()) {
            line.problem = "no voice speaks \"" + std::string(name) +
                           "\" (use [ru], [uk], [be], [kk], ... or a voice's three-letter "
                           "code): the entries below it are skipped up to the next section";
        }
        return line;
    }

    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return bad_line("no \"=\": an entry is word=replacement");
    const std::string_view word = trim(text.substr(0, equals));
    const std::string_view replacement = trim(text.substr(equals + 1));
    if (word.empty()) return bad_line("no word before \"=\"");
    if (replacement.empty()) return bad_line("no replacement after \"=\"");
    if (std::any_of(word.begin(), word.end(), is_blank)) {
        return bad_line("\"" + std::string(word) + "\" is more than one word");
    }
    if (std::any_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return bad_line("\"" + std::string(word) +
                        "\" has digits, which the dictionary never sees: numbers are "
                        "spelled out before it, so write the word as they make it");
    }
    if (!word_goes_on(word, 0, true)) {
        return bad_line("\"" + std::string(word) + "\" does not start with a letter");
    }
    line.kind = DictionaryLine::Entry;
    line.word = word;
    line.replacement = replacement;
    return line;
}

void UserDictionary::add(Section& section, std::string word, std::string replacement) {
    std::string first_word;
    word_end(word, 0, first_word);

    Entry entry;
    for (std::size_t i = 0; i < word.size();) entry.exact_case |= is_capital(decode_utf8(word, i));
    entry.word = std::move(word);
    entry.replacement = std::move(replacement);

    // Longest first, so that т.е. wins over т; exact case first, so that
    // Тома=Т+ома wins over тома=том+а for the name.
    const auto goes_before = [](const Entry& a, const Entry& b) {
        if (a.word.size() != b.word.size()) return a.word.size() > b.word.size();
        return a.exact_case && !b.exact_case;
    };
    std::uint32_t* link =
        &section.first_words.try_emplace(std::move(first_word), kNone).first->second;
    while (*link != kNone) {
        Entry& other = section.entries[*link];
        if (other.word == entry.word) {  // a later line overrides an earlier one
            other.replacement = std::move(entry.replacement);
            return;
        }
        if (goes_before(entry, other)) break;
        link = &other.next;
    }
    entry.next = *link;
    *link = static_cast<std::uint32_t>(section.entries.size());  // before the vector moves
    section.entries.push_back(std::move(entry));
}

UserDictionary UserDictionary::parse(std::string_view content,
                                     std::vector<DictionaryProblem>* problems) {
    UserDictionary dictionary;
    if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
    // Entries before any section are Russian, and usually most of them.
    Section* section = &dictionary.sections_["rus"];
    const auto lines = static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n'));
    section->first_words.reserve(lines);
    section->entries.reserve(lines);
    std::size_t number = 0;
    for (std::size_t begin = 0; begin < content.size();) {
        std::size_t end = content.find('\n', begin);
        if (end == std::string_view::npos) end = content.size();
        ++number;
        DictionaryLine line = parse_dictionary_line(content.substr(begin, end - begin));
        begin = end + 1;
        if (!line.problem.empty() && problems != nullptr) {
            problems->push_back({number, std::move(line.problem)});
        }
        if (line.kind == DictionaryLine::Section) {
            section = line.lang.empty() ? nullptr : &dictionary.sections_[line.lang];
        } else if (line.kind == DictionaryLine::Entry && section != nullptr) {
            add(*section, std::move(line.word), std::move(line.replacement));
        }
    }
    return dictionary;
}

UserDictionary UserDictionary::load(const fs::path& path,
                                    std::vector<DictionaryProblem>* problems) {
    const auto report = [&](std::size_t line, std::string message) {
        if (problems != nullptr) problems->push_back({line, std::move(message)});
    };
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return {};
    if (ec) {
        report(0, "cannot be read: " + ec.message());
        return {};
    }
    // Opening a pipe or a device could wait for ever.
    if (!fs::is_regular_file(status)) {
        report(0, "not a regular file");
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        report(0, std::string("cannot be opened: ") + std::strerror(errno));
        return {};
    }
    std::string content;
    content.reserve(std::min<std::uintmax_t>(fs::file_size(path, ec), kMaxDictionaryBytes) + 1);
    char buffer[1 << 16];
    while (content.size() <= kMaxDictionaryBytes && in) {
        in.read(buffer, sizeof buffer);
        content.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        report(0, std::string("cannot be read: ") + std::strerror(errno));
        return {};
    }
    std::size_t ignored_from = 0;  // line number, 0 when the whole file is read
    if (content.size() > kMaxDictionaryBytes) {
        // Whole lines only: a line cut short could say something else.
        const std::size_t last = content.rfind('\n', kMaxDictionaryBytes - 1);
        content.resize(last == std::string::npos ? 0 : last + 1);
        ignored_from =
            static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n')) + 1;
    }
    UserDictionary dictionary = parse(content, problems);
    if (ignored_from > 0) {
        report(ignored_from, "the file is larger than " +
                                 std::to_string(kMaxDictionaryBytes >> 20) +
                                 " MiB: this line and the ones after it are ignored");
    }
    return dictionary;
}

bool UserDictionary::matches(const Entry& entry, std::string_view text, std::size_t pos,
                             std::size_t& end) {
    const auto compared = entry.exact_case ? same_apostrophe : any_case;
    end = pos;
    for (std::size_t k = 0; k < entry.word.size();) {
        if (end >= text.size()) return false;
        if (compared(decode_utf8(text, end)) != compared(decode_utf8(entry.word, k))) return false;
    }
    // Whole words: an entry that ends in a letter must end where the word does.
    std::size_t last = entry.word.size() - 1;
    while (last > 0 && (static_cast<unsigned char>(entry.word[last]) & 0xC0) == 0x80) --last;
    return !(is_letter(decode_utf8(entry.word, last)) && word_goes_on(text, end));
}

std::string UserDictionary::apply(std::string_view text, std::string_view lang) const {
    const auto found = sections_.find(std::string(lang));
    if (found == sections_.end() || found->second.entries.empty()) return std::string(text);
    const Section& section = found->second;

    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::string small;
    std::size_t copied = 0;  // the text before this is in `out`
    for (std::size_t pos = 0; pos < text.size();) {
        if (!word_goes_on(text, pos, true)) {
            decode_utf8(text, pos);
            continue;
        }
        const std::size_t word_stop = word_end(text, pos, small);
        const auto chain = section.first_words.find(small);
        std::uint32_t index = chain == section.first_words.end() ? kNone : chain->second;
        std::size_t end = pos;
        while (index != kNone && !matches(section.entries[index], text, pos, end)) {
            index = section.entries[index].next;
        }
        if (index == kNone) {
            pos = word_stop;
            continue;
        }
        const Entry& entry = section.entries[index];
        out.append(text.substr(copied, pos - copied));
        std::size_t at = pos;
        char32_t first_letter = decode_utf8(text, at);
        if (first_letter == kPlus) first_letter = decode_utf8(text, at);
        if (!entry.exact_case && is_capital(first_letter)) {
            append_capitalised(out, entry.replacement);
        } else {
            out.append(entry.replacement);
        }
        pos = copied = end;
    }
    if (copied == 0) return std::string(text);
    out.append(text.substr(copied));
    return out;
}

std::size_t UserDictionary::size() const {
    std::size_t n = 0;
    for (const auto& [lang, section] : sections_) n += section.entries.size();
    return n;
}

}  // namespace zelvan_tts
