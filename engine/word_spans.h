// Where each spoken word comes from in the caller's text. The text steps
// keep the white space that separates a text's pieces (numbers become
// several pieces, nothing else adds or removes white space), so every piece
// of the spoken text belongs to one piece of the caller's text, and a word
// covers the pieces its symbols come from. Every word of a number spelled
// out is thus mapped to the number as written.
#pragma once

#include "engine/text_chunks.h"
#include "text/written_forms.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace zelvan_tts {

class UserDictionary;

// The bytes of the caller's text a spoken word comes from.
struct WordSpan {
    std::size_t offset = 0;
    std::size_t length = 0;
};

// One chunk of the spoken text and its words, in the order
// extract_word_timestamps counts them.
struct ChunkWords {
    TextSpan chunk;               // bytes of the spoken text
    std::vector<WordSpan> words;  // bytes of the caller's text
};

// The chunks of `script` (what the text steps made of `input` for a voice
// of language `lang`, with `dictionary` when it is given) with the span of
// `input` of each of their words. If the pieces of the two texts do not
// correspond, every word spans the whole input rather than a wrong part of it.
std::vector<ChunkWords> chunk_words(std::string_view input, std::string_view script,
                                    std::string_view lang, std::size_t max_chars,
                                    const UserDictionary* dictionary = nullptr);

// The same when the written-forms step made `read` of `input` with these
// edits: every word of a form read in full ("10 000", "т. е.", "$5") spans
// the whole form as written.
std::vector<ChunkWords> chunk_words(std::string_view input, std::string_view read,
                                    const std::vector<ReadingEdit>& edits,
                                    std::string_view script, std::string_view lang,
                                    std::size_t max_chars, const UserDictionary* dictionary);

}  // namespace zelvan_tts
