// Where the text steps cut a long text: a block of whole sentences at a
// time, so that the first audio of a long text waits for its first block
// only. Both the synthesis and a client that labels the words it is sent
// walk a text by these blocks.
#pragma once

#include <cstddef>
#include <string_view>

namespace zelvan_tts {

// A block ends at the white space after a sentence end (".", "!" or "?"
// followed by a blank, tab or line feed) once it holds kTextBlockBytes; a
// block that finds no such end within kMaxTextBlockBytes ends after its last
// white space, or, without any, at a character boundary. The first audio
// waits for the text steps of the first block: 2 KB of a text without
// sentence ends (a log, a hex dump whose numbers are spelled out) take
// them some 80 ms, where 16 KB took over half a second.
inline constexpr std::size_t kTextBlockBytes = 1024;
inline constexpr std::size_t kMaxTextBlockBytes = 2048;

// One past the last byte of the block of `text` that starts at `begin`.
std::size_t text_block_end(std::string_view text, std::size_t begin);

}  // namespace zelvan_tts
