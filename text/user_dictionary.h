// The user's own readings of words: dictionary.txt beside the settings, one
// `word=replacement` a line, in sections by language. It lets a listener fix
// a surname, a brand or an abbreviation that the stages read wrong, without a
// new model. The text steps apply it after numbers are spelled out and before
// homographs and stress, which leave a word the user marked with "+" alone.
//
// Nothing about the dictionary ever fails a synthesis: a line that cannot be
// read is skipped (and reported to whoever asks), an unreadable file is an
// empty dictionary, and a huge one is read up to kMaxDictionaryBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zelvan_tts {

// Bytes of the file that are read; the lines after them are ignored. Far
// above any real dictionary (100,000 entries take about 3 MB), low enough
// that a stray file cannot exhaust the memory of every engine process.
inline constexpr std::size_t kMaxDictionaryBytes = std::size_t{64} << 20;

// A line that could not be read, and why. Line 0 is the file as a whole.
struct DictionaryProblem {
    std::size_t line = 0;
    std::string message;
};

// What one line of the file says.
struct DictionaryLine {
    enum Kind { Blank, Section, Entry, Bad } kind = Blank;
    std::string lang;         // Section: the ISO 639-3 code of the voices it scopes
    std::string word;         // Entry: as written, trimmed
    std::string replacement;  // Entry: as written, trimmed
    std::string problem;      // Bad, and Section of an unknown language: why
};

// Reads one line (without its line feed; a trailing CR is ignored). A
// section of an unknown language comes back as Section with an empty lang
// and a problem: its entries belong to no voice.
DictionaryLine parse_dictionary_line(std::string_view line);

// The ISO 639-3 code of the voices a section name means: a voice's own code
// ("rus", "kaz", "erz" for Erzya's voice key) or the two-letter code of its
// language ("ru", "uk", "kk"), in any letter case. Empty when no voice
// speaks it.
std::string dictionary_language(std::string_view name);

class UserDictionary {
public:
    // No entries: apply gives back its text.
    UserDictionary() = default;

    // The dictionary a file's content holds. Lines that cannot be read are
    // skipped and, when `problems` is given, appended to it.
    static UserDictionary parse(std::string_view content,
                                std::vector<DictionaryProblem>* problems = nullptr);

    // The dictionary in the file at `path`: empty when there is none, when it
    // is not a regular file or cannot be read (a problem on line 0), and only
    // the lines within the first kMaxDictionaryBytes of a larger one.
    static UserDictionary load(const std::filesystem::path& path,
                               std::vector<DictionaryProblem>* problems = nullptr);

    // `text` with the entries of language `lang` (ISO 639-3) in place of the
    // words they name. Whole words only: a word is a run of letters, with
    // "+" and apostrophes inside it; the punctuation around it does not
    // matter, and an entry may hold punctuation of its own ("т.е."). An entry
    // in small letters matches the word in any case, and its replacement
    // takes a capital when the word starts with one; an entry with a capital
    // matches only that spelling. The longest entry that fits wins. One pass
    // over the text, one hash lookup per word.
    std::string apply(std::string_view text, std::string_view lang) const;

    // Entries of every language.
    std::size_t size() const;

private:
    struct Entry {
        std::string word;         // as written
        std::string replacement;  // as written
        bool exact_case = false;  // the word has a capital letter
        std::uint32_t next = 0;   // next entry with the same first word, or kNone
    };
    // Entries of one language, found by their first word in small letters;
    // each chain is ordered longest word first, exact case before any case.
    struct Section {
        std::unordered_map<std::string, std::uint32_t> first_words;
        std::vector<Entry> entries;
    };
    static constexpr std::uint32_t kNone = UINT32_MAX;

    static void add(Section& section, std::string word, std::string replacement);
    // Whether `entry` stands at `pos` of the text; `end` is then where it ends.
    static bool matches(const Entry& entry, std::string_view text, std::size_t pos,
                        std::size_t& end);

    std::unordered_map<std::string, Section> sections_;  // by ISO 639-3 code
};

}  // namespace zelvan_tts
