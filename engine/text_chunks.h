// Cutting a text into the sentence-sized chunks the voice model is called
// with, so that the first sentence can play while the next is synthesised.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

// The chunk limit the pipeline uses, in code points.
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
// bytes after the previous cut.
std::vector<std::string> split_into_chunks(std::string_view text, std::size_t max_chars);

// Where the chunks of split_into_chunks stand in the text: each chunk is
// exactly those bytes.
std::vector<TextSpan> split_into_chunk_spans(std::string_view text, std::size_t max_chars);

}  // namespace zelvan_tts
