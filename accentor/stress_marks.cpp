#include "accentor/stress_marks.h"

#include "shared/symbols/code_points.h"
#include "shared/symbols/languages.h"

#include <algorithm>
#include <bitset>

namespace zelvan_tts {

namespace {

// A letter of U+0400..U+04FF is exactly a lead byte D0..D3 followed by a
// continuation byte. Such a lead is no continuation byte, so utf8_to_utf32
// never takes it into the sequence before it: scanning for these pairs finds
// the very letters the decoder finds, on any bytes, without decoding the rest.
bool cyrillic_at(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    return lead >= 0xD0 && lead <= 0xD3 && i + 1 < text.size() &&
           (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80;
}

char32_t cyrillic_code_point(std::string_view text, std::size_t i) {
    return (char32_t(static_cast<unsigned char>(text[i]) & 0x1F) << 6) |
           (static_cast<unsigned char>(text[i + 1]) & 0x3F);
}

// The white space that separates words: ASCII only, so that no byte of a
// multi-byte character ever splits a piece.
bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string clean_form(std::string_view part) {
    std::string clean;
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (!cyrillic_at(part, i)) continue;
        // Folding keeps a letter inside U+0400..U+04FF: two bytes again.
        const char32_t folded = fold_case(cyrillic_code_point(part, i));
        clean.push_back(static_cast<char>(0xC0 | (folded >> 6)));
        clean.push_back(static_cast<char>(0x80 | (folded & 0x3F)));
        ++i;
    }
    return clean;
}

void add_part(std::vector<TokenRecord>& records, std::string_view part) {
    TokenRecord record;
    record.text = std::string(part);
    if (part != "-") {
        record.clean = clean_form(part);
        // Every letter of a clean form takes two bytes.
        record.is_word = !record.clean.empty() && record.clean.size() <= 2 * kMaxStressWordLetters;
    }
    records.push_back(std::move(record));
}

// A word piece cut at each hyphen: the runs between hyphens, and each hyphen.
void add_word_piece(std::vector<TokenRecord>& records, std::string_view piece) {
    const std::size_t first = records.size();
    std::size_t start = 0;
    while (start < piece.size()) {
        const std::size_t hyphen = piece.find('-', start);
        const std::size_t end = hyphen == std::string_view::npos ? piece.size() : hyphen;
        if (end > start) add_part(records, piece.substr(start, end - start));
        if (hyphen == std::string_view::npos) break;
        add_part(records, "-");
        start = hyphen + 1;
    }
    // The particle of кто-то gets no stress: the last of several parts.
    if (records.size() - first >= 2) {
        TokenRecord& last = records.back();
        if (last.clean == "то") last.is_word = false;
    }
}

}  // namespace

std::string accentor_language(std::string_view iso639_3) {
    return language_profile(iso639_3).accentor;
}

VowelSets vowel_sets(std::string_view lang) {
    if (lang == "by") return {"аоуіэыяеёю", "АОУІЭЫЯЕЁЮ"};
    if (lang == "ua") return {"аеєиіїоуюя", "АЕЄИІЇОУЮЯ"};
    return {"аоуыэиеяёю", "АОУЫЭИЕЯЁЮ"};
}

std::vector<TokenRecord> split_words(std::string_view text) {
    std::vector<TokenRecord> records;
    records.reserve(text.size() / 4 + 1);  // about a word and a space per 8 bytes of Cyrillic
    std::size_t pos = 0;
    while (pos < text.size()) {
        const bool space = is_space(text[pos]);
        std::size_t end = pos + 1;
        while (end < text.size() && is_space(text[end]) == space) ++end;
        const std::string_view piece = text.substr(pos, end - pos);
        if (space) {
            records.push_back(TokenRecord{std::string(piece), {}, false});
        } else {
            add_word_piece(records, piece);
        }
        pos = end;
    }
    return records;
}

VowelLookup vowel_lookup(std::string_view vowels_lower, std::string_view vowels_upper,
                         bool collect_ye) {
    VowelLookup lookup;
    lookup.collect_ye = collect_ye;
    for (const std::string_view set : {vowels_lower, vowels_upper}) {
        for (std::size_t i = 0; i < set.size(); ++i) {
            if (!cyrillic_at(set, i)) continue;
            lookup.vowel.set(cyrillic_code_point(set, i) - 0x400);
            ++i;
        }
    }
    return lookup;
}

void vowel_positions(std::string_view clean, const VowelLookup& lookup, VowelPositions& positions) {
    positions.vowels.clear();
    positions.ye.clear();
    int index = 0;
    for (std::size_t i = 0; i < clean.size(); ++index) {
        if (!cyrillic_at(clean, i)) {  // not from split_words: no vowel of ours
            i += std::min(utf8_char_length(clean[i]), clean.size() - i);
            continue;
        }
        const char32_t cp = cyrillic_code_point(clean, i);
        if (lookup.vowel.test(cp - 0x400)) positions.vowels.push_back(index);
        if (lookup.collect_ye && (cp == U'е' || cp == U'Е')) positions.ye.push_back(index);
        i += 2;
    }
}

std::size_t cyrillic_letter_offset(std::string_view text, long long index) {
    if (index < 0) return std::string_view::npos;
    long long seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!cyrillic_at(text, i)) continue;
        if (seen == index) return i;
        ++seen;
        ++i;
    }
    return std::string_view::npos;
}

std::string insert_stress_mark(std::string text, long long index) {
    const std::size_t offset = cyrillic_letter_offset(text, index);
    if (offset != std::string_view::npos) text.insert(offset, 1, '+');
    return text;
}

std::string set_yo(std::string text, long long index) {
    const std::size_t offset = cyrillic_letter_offset(text, index);
    if (offset == std::string_view::npos) return text;
    // Every letter of U+0400..U+04FF takes two bytes, and so do ё and Ё.
    const std::string_view letter = std::string_view(text).substr(offset, 2);
    if (letter == "е") {
        text.replace(offset, 2, "ё");
    } else if (letter == "Е") {
        text.replace(offset, 2, "Ё");
    }
    return text;
}

}  // namespace zelvan_tts
