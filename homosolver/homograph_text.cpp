#include "homosolver/homograph_text.h"

#include "shared/symbols/code_points.h"

#include <optional>

namespace zelvan_tts {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kPlus = U'+';
constexpr char32_t kSmallYo = 0x451;
constexpr char32_t kCapitalYo = 0x401;

bool is_cyrillic(char32_t cp) { return cp >= 0x400 && cp <= 0x4FF; }

bool is_small_russian(char32_t cp) { return (cp >= 0x430 && cp <= 0x44F) || cp == kSmallYo; }

bool is_vowel(char32_t cp) {
    return std::u32string_view(U"аоуыэиеяёю").find(cp) != std::u32string_view::npos;
}

char32_t to_capital(char32_t cp) {
    if (cp >= 0x430 && cp <= 0x44F) return cp - 32;
    if (cp == kSmallYo) return kCapitalYo;
    return cp;
}

// Bytes the shared decoder consumed for `cp` at `offset`: a U+FFFD stands
// for one undecodable byte unless the text spells U+FFFD itself.
std::size_t consumed_bytes(const std::string& text, std::size_t offset, char32_t cp) {
    if (cp == kReplacement) {
        return text.compare(offset, 3, "\xEF\xBF\xBD") == 0 ? 3 : 1;
    }
    if (cp < 0x80) return 1;
    if (cp < 0x800) return 2;
    if (cp < 0x10000) return 3;
    return 4;
}

}  // namespace

std::vector<HomographOccurrence> find_homographs(const std::string& text,
                                                 const HomographDictionary& homodict) {
    const std::u32string code_points = utf8_to_utf32(text);
    std::vector<std::size_t> offsets;
    offsets.reserve(code_points.size() + 1);
    std::size_t offset = 0;
    for (const char32_t cp : code_points) {
        offsets.push_back(offset);
        offset += consumed_bytes(text, offset, cp);
    }
    offsets.push_back(text.size());

    std::vector<HomographOccurrence> found;
    std::size_t i = 0;
    while (i < code_points.size()) {
        const char32_t cp = code_points[i];
        if (!is_cyrillic(cp) && cp != kPlus) {
            ++i;
            continue;
        }
        const std::size_t run_start = i;
        bool has_letter = false;
        while (i < code_points.size() && (is_cyrillic(code_points[i]) || code_points[i] == kPlus)) {
            has_letter = has_letter || is_cyrillic(code_points[i]);
            ++i;
        }
        if (!has_letter) continue;
        const std::u32string_view run(code_points.data() + run_start, i - run_start);
        std::string key = utf32_to_utf8(fold_case_string(run));
        if (homodict.count(key) == 0) continue;
        HomographOccurrence occurrence;
        occurrence.start = offsets[run_start];
        occurrence.end = offsets[i];
        occurrence.word = text.substr(occurrence.start, occurrence.end - occurrence.start);
        occurrence.key = std::move(key);
        found.push_back(std::move(occurrence));
    }
    return found;
}

std::string mark_homograph(const std::string& text, const HomographOccurrence& occurrence) {
    std::string marked;
    marked.reserve(text.size() + 17);
    marked.append(text, 0, occurrence.start);
    marked.append(" [HOMO] ");
    marked.append(occurrence.word);
    marked.append(" [/HOMO] ");
    marked.append(text, occurrence.end, std::string::npos);
    return marked;
}

std::string cased_variant(const std::string& word, const std::string& variant) {
    const std::u32string chosen = utf8_to_utf32(variant);
    std::size_t vowels = 0;
    for (const char32_t cp : chosen) vowels += is_vowel(fold_case(cp)) ? 1 : 0;

    std::u32string letters;
    std::optional<std::size_t> mark;
    for (const char32_t cp : chosen) {
        if (cp == kPlus) {
            mark = letters.size();
        } else {
            letters.push_back(cp);
        }
    }

    const std::u32string written = utf8_to_utf32(word);
    for (std::size_t j = 0; j < letters.size(); ++j) {
        if (j < written.size() && !is_small_russian(written[j])) {
            letters[j] = to_capital(letters[j]);
        } else {
            letters[j] = fold_case(letters[j]);
        }
    }
    if (mark && vowels >= 2) letters.insert(letters.begin() + *mark, kPlus);
    return utf32_to_utf8(letters);
}

}  // namespace zelvan_tts
