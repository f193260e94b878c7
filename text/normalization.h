// Number normalisation: every run of ASCII digits in a text (with a directly
// preceding "-" as its sign) is replaced by the words of the number in the
// voice's language. Everything else is copied byte for byte.
#pragma once

#include <string>
#include <string_view>

#include "text/number_words.h"

namespace zelvan_tts {

// Replaces every number of the text by converter.convert of it. No blank is
// added around the words, and decimal points, separators and dates are not
// recognised: each digit run is its own integer.
std::string expand_numbers(const Num2Words& converter, std::string_view text);

// expand_numbers with the Georgian reader when lang is exactly "kat" and the
// Russian reader for any other code, the empty one included.
std::string normalize_numbers(std::string_view text, std::string_view lang);

}  // namespace zelvan_tts
