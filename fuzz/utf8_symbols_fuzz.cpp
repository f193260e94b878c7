// UTF-8 decoding and the symbol encoder on arbitrary bytes: the decoder never
// fails, its output re-encodes to valid UTF-8 that decodes to itself, and the
// encoder frames whatever survives with the start and end ids.
#include "shared/symbols/code_points.h"
#include "shared/symbols/symbols.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace zelvan_tts;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::u32string decoded = utf8_to_utf32(text);
    if (decoded.size() > size) std::abort();
    const std::string encoded = utf32_to_utf8(decoded);
    if (utf8_to_utf32(encoded) != decoded) std::abort();
    if (fold_case_string(decoded).size() != decoded.size()) std::abort();
    for (std::size_t i = 0; i < size; i += utf8_char_length(data[i])) {
    }

    std::size_t dropped = 0;
    const auto ids = encode_text(text, SymbolMap::instance(),
                                 [&](const std::string&, int count) { dropped += count; });
    if (ids.size() < 2 || ids.front() != kSequenceStartId || ids.back() != kSequenceEndId) {
        std::abort();
    }
    if (ids.size() - 2 + dropped != decoded.size()) std::abort();
    for (std::int64_t id : ids) {
        if (id < 0 || id >= static_cast<std::int64_t>(symbols.size())) std::abort();
    }

    // The same bytes read as UTF-16 code units.
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    const std::string from_units = utf16_to_utf8(units);
    if (utf32_to_utf8(utf8_to_utf32(from_units)) != from_units) std::abort();
    return 0;
}
