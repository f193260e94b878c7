// Start and end of every spoken word, from the model's per-symbol times.
#pragma once

#include "shared/audio/word_timestamp.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

// Appends one record per word of the chunk. `times` holds the model's start
// time of each id of the chunk's framed id sequence (seconds of the chunk's
// own audio at normal speed); `offset` places the chunk on the synthesis's
// time line in model seconds, and dividing by `speed` converts to seconds of
// the delivered audio. A word is a run of mapped symbols other than the
// blank; characters the alphabet lacks are skipped as the encoder skips them.
void extract_word_timestamps(std::string_view chunk, const float* times, std::size_t count,
                             float offset, float speed, std::vector<WordTimestamp>& out);

// Calls symbol(c, blank, byte offset) for every code point of the chunk that
// becomes an id, in order: the walk the encoder makes, so that positions
// line up. `blank` says it is the blank that separates words.
void walk_symbols(std::string_view chunk,
                  const std::function<void(char32_t, bool, std::size_t)>& symbol);

// Whether the chunk has anything to say: a letter of the alphabet. A chunk
// of marks and blanks only would be nothing but pauses; the synthesis skips
// it, with its words, so that a run of marks or sentence ends gives no more
// silence than the chunk before it ends with.
bool has_speech(std::string_view chunk);

// The words of a chunk as extract_word_timestamps counts them, each spelled
// with the characters the model hears (the alphabet's symbols, case kept).
std::vector<std::string> spoken_words(std::string_view chunk);

}  // namespace zelvan_tts
