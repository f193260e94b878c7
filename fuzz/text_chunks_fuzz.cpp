// Sentence and chunk splitting on arbitrary text and chunk limits: nothing
// but white space may get lost, and no chunk is empty.
#include "engine/text_chunks.h"
#include "fuzz/fuzz_support.h"

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
    }
    if (kept != non_blank_bytes(text)) std::abort();
    return 0;
}
