// Stress written with the combining acute accent (U+0301), as dictionaries,
// Wiktionary and learners' texts write it: «замо́к». The engine's own stress
// mark is a "+" before the vowel («зам+ок»), which homograph resolution and
// stress placement leave alone; an accent that reached the voice instead
// would be dropped as a character it does not know, and the stages would
// choose the stress themselves.
#pragma once

#include <string>
#include <string_view>

namespace zelvan_tts {

// `text` with every U+0301 that follows a vowel (Cyrillic or Latin, either
// case) turned into a "+" before that vowel. An accent after anything else
// stays where it is, as do all other bytes (broken UTF-8 included); a vowel
// that already has its "+" gets no second one.
std::string stress_accents_to_marks(std::string_view text);

}  // namespace zelvan_tts
