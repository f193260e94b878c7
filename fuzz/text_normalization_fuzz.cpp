// Number expansion and transliteration for the language of a voice chosen by
// the first byte, on arbitrary text.
#include "fuzz/fuzz_support.h"
#include "shared/symbols/speakers.h"
#include "text/normalization.h"
#include "text/transliteration.h"

#include <cstdint>
#include <string>

using namespace zelvan_tts;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputCursor input(data, size);
    const std::string lang = speakers[input.byte() % speakers.size()].lang;
    const std::string_view text = input.rest();
    const std::string numbers = normalize_numbers(text, lang);
    const std::string letters = transliterate(text, lang);
    // The order the pipeline uses.
    transliterate(numbers, lang);
    (void)letters;
    return 0;
}
