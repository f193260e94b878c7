// Sentence and chunk splitting on arbitrary text and chunk limits: nothing
// but white space may get lost, no chunk is empty, and none passes the bound.
#include "engine/text_chunks.h"
#include "fuzz/fuzz_support.h"
#include "shared/symbols/code_points.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace zelvan_tts;

namespace {

std::size_t non_blank_bytes(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) n += !(c == ' ' || c == '\n' || c == '\t');
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputCursor input(data, size);
    const std::size_t limit = input.byte() % 2 ? kMaxChunkChars : input.byte();
    const std::string_view text = input.rest();

    std::size_t kept = 0;
    for (const std::string& sentence : split_sentences(text)) kept += non_blank_bytes(sentence);
    if (kept != non_blank_bytes(text)) std::abort();

    kept = 0;
    for (const std::string& chunk : split_into_chunks(text, limit)) {
        if (chunk.empty()) std::abort();
        kept += non_blank_bytes(chunk);
        // At most the bound after its leading white space, and one closing mark.
        const std::size_t from = chunk.find_first_not_of(" \n\t");
        std::size_t code_points = 0;
        for (std::size_t i = from; i < chunk.size();
             i += utf8_char_length(static_cast<unsigned char>(chunk[i]))) {
            ++code_points;
        }
        if (code_points > (limit == 0 ? 1 : limit) + 1) std::abort();
    }
    if (kept != non_blank_bytes(text)) std::abort();
    return 0;
}
