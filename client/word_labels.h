// The words a synthesis times, labelled with the caller's own text. A server
// that sends word spans says this itself; for one that sends only a start
// and end per spoken word, the client finds the words by walking the text
// as the server does: the same blocks, numbers spelled out, other scripts
// transliterated, the same chunks. The homograph and stress steps are left
// out: they only change letters and add stress marks inside words, so the
// words stay the same.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

struct LabelledWord {
    std::string word;     // as spoken, stress marks taken out
    std::size_t offset;   // the bytes of the caller's text the word comes
    std::size_t length;   // from; every word of a number points at the number
};

class UserDictionary;

// A word as spoken ("Стар+инный") shown as written, without its stress
// marks; a "+" that is a word of its own stays.
std::string without_stress_marks(std::string word);

// The words of `text` spoken by a voice of language `lang` (ISO 639-3), in
// the order the server times them, the user's `dictionary` applied as the
// server applies it, and written forms read in full when `reading` is on.
std::vector<LabelledWord> label_words(std::string_view text, std::string_view lang,
                                      const UserDictionary* dictionary = nullptr,
                                      bool reading = true);

}  // namespace zelvan_tts
