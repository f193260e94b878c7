// Script transliteration: rewrites Georgian, Armenian, Azerbaijani and Uzbek
// letters, and Latin letters in any text, in the Cyrillic letters the voice
// model knows. Case is kept; the encoder folds it later.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

// One key of a transliteration table and the text that replaces it.
struct TranslitEntry {
    std::string_view key;
    std::string_view value;
};

// A table of single characters: each key is one UTF-8 character. Lookups go
// through a flat array over the table's code-point range.
class CharMap {
public:
    // Throws std::logic_error when a key is not exactly one well-formed UTF-8
    // character, appears twice, or has an empty value: the tables are fixed
    // data, so this only guards against a mistake in them.
    CharMap(std::initializer_list<TranslitEntry> entries);

    std::size_t size() const { return entries_.size(); }
    const std::vector<TranslitEntry>& entries() const { return entries_; }

    // The replacement of a code point; empty when the table does not hold it.
    std::string_view find(char32_t code_point) const {
        const char32_t offset = code_point - first_;  // wraps below first_
        return offset < slots_.size() ? slots_[offset] : std::string_view();
    }
    // The replacement of one UTF-8 character given as bytes; empty when the
    // table does not hold exactly these bytes as a key.
    std::string_view find(std::string_view character) const;

private:
    std::vector<TranslitEntry> entries_;
    char32_t first_ = 0;
    std::vector<std::string_view> slots_;  // indexed by code point - first_
};

// A table of multi-character keys matched as byte prefixes of the text; of
// the keys that match at one position the longest wins.
class PrefixMap {
public:
    // Throws std::logic_error on an empty key, a key that does not start with
    // a well-formed UTF-8 character, a duplicate key or an empty value.
    PrefixMap(std::initializer_list<TranslitEntry> entries);

    std::size_t size() const { return entries_.size(); }
    const std::vector<TranslitEntry>& entries() const { return entries_; }

    // The longest key that starts the text, or nullptr.
    const TranslitEntry* match(std::string_view text) const {
        if (text.empty()) return nullptr;
        const auto first = static_cast<unsigned char>(text.front());
        if (begin_[first] == begin_[first + 1u]) return nullptr;  // no key starts here
        return match_slow(text, first);
    }

private:
    const TranslitEntry* match_slow(std::string_view text, unsigned char first) const;

    std::vector<TranslitEntry> entries_;      // as given
    std::vector<TranslitEntry> by_first_;     // by first byte, longest key first
    std::array<std::uint16_t, 257> begin_{};  // range of by_first_ per first byte
};

// The seven tables, built on first use and read-only afterwards.
const CharMap& georgian_letters();     // 38 keys, for "kat"
const CharMap& azerbaijani_letters();  // 64 keys, for "aze"
const CharMap& armenian_letters();     // 77 keys, for "hye"
const CharMap& uzbek_letters();        // 48 keys, for "uzb"
const PrefixMap& uzbek_multi_keys();   // 14 keys, for "uzb"
const CharMap& latin_letters();        // 52 keys, for Latin letters in any text
const PrefixMap& latin_multi_keys();   // 35 keys, for Latin letters in any text

// Rewrites the text character by character with a single-character table,
// trying the multi-character keys (when given) first at every position.
// Characters the tables do not know are copied unchanged.
std::string apply_script_map(std::string_view text, const CharMap& letters,
                             const PrefixMap* multi_keys = nullptr);

// Rewrites Latin letters (and apostrophes) with the two Latin tables.
std::string apply_latin_map(std::string_view text);

// The voice's own script table for "kat", "aze", "hye" and "uzb", then the
// Latin tables for every language when the text holds an ASCII letter.
std::string transliterate(std::string_view text, std::string_view lang);

}  // namespace zelvan_tts
