// What the engine makes of a text before the voice model sees it: every
// intermediate text of a synthesis, the chunks and their ids.
#pragma once

#include "client/engine_library.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelvan_tts {

struct TextPreview {
    int voice = 0;
    std::string lang;
    TextSteps texts;
    std::vector<std::string> chunks;
    std::vector<std::vector<std::int64_t>> ids;  // encode_text of each chunk
    std::vector<std::string> unmapped;           // dropped characters, per chunk that had any
};

// The preview of what the text steps made for voice `voice` (0..59): the
// texts, and the chunks and ids a synthesis would cut and encode.
TextPreview preview_text(TextSteps texts, int voice);

// One JSON object: voice, lang, numbers, homographs, stress, script, chunks,
// ids, unmapped. Invalid UTF-8 in the texts is shown as U+FFFD.
std::string preview_json(const TextPreview& preview);

// The same, one labelled line per item, for people.
std::string preview_plain(const TextPreview& preview);

}  // namespace zelvan_tts
