// Cutting a text into the sentence-sized chunks the voice model is called
// with, so that the first sentence can play while the next is synthesised.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

// The chunk limit the pipeline uses, in code points. A chunk is one call of
// the voice model: its audio reaches the caller in one piece, a cancel waits
// for it, and a neural voice needs memory that grows with its length. 250
// code points are some 40 Russian words, about 15 s of speech: an ordinary
// sentence stays one chunk with its melody whole, while a text without
// sentence ends (pasted logs, code, base64, OCR output) reaches the voice in
// pieces no larger than a long sentence, whatever its length.
inline constexpr std::size_t kMaxChunkChars = 250;

// Bytes [offset, offset + length) of a text.
struct TextSpan {
    std::size_t offset = 0;
    std::size_t length = 0;
};

// Sentences end at ".", "!" or "?" followed by a blank, line feed or tab.
// White space after a split is dropped, as is white space at a sentence's
// end; leading white space of the text stays.
std::vector<std::string> split_sentences(std::string_view text);

// One chunk per sentence of at most `max_chars` code points. A longer
// sentence is cut after each ",", ";" or ":" that ends at least `max_chars`
// bytes after the previous cut, and a piece never grows past `max_chars`
// code points after its leading white space (a mark that the rule above
// cuts after may end it as one more): a full piece is cut at its last white
// space after a phrase mark, a closing bracket or quote, a dash or an
// ellipsis in its second half, where a reader would breathe; else at its last
// white space; a run without white space at the bound, between characters.
// The white space at a cut belongs to neither piece.
std::vector<std::string> split_into_chunks(std::string_view text, std::size_t max_chars);

// Where the chunks of split_into_chunks stand in the text: each chunk is
// exactly those bytes.
std::vector<TextSpan> split_into_chunk_spans(std::string_view text, std::size_t max_chars);

}  // namespace zelvan_tts
