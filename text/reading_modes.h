// How a text is read besides its words: which punctuation is spoken, whether
// words are spelled letter by letter, how capital letters are announced, and
// what single characters and keys sound like. Names are Russian, the language
// every voice reads.
#pragma once

#include "text/speech_items.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelvan_tts {

enum class Punctuation { None, Some, Most, All };
enum class Capitals { None, Spell, Icon };

struct ReadingModes {
    Punctuation punctuation = Punctuation::None;
    bool spelling = false;
    Capitals capitals = Capitals::None;
};

// The text runs of `items` as the modes read them: punctuation named (Some:
// symbols such as @ # % + =; Most: also brackets, quotes and dashes; All: every
// punctuation mark, the marks themselves kept for the sentence melody), and
// runs marked as characters, or every run in spelling mode, spelled out.
// Each byte of what is said keeps the source of the character it comes from.
std::vector<SpeechItem> apply_reading_modes(const std::vector<SpeechItem>& items,
                                            const ReadingModes& modes);

// Spells `text`: one name per character (letters by their names, digits as
// numbers, symbols by their names), words apart; capitals are announced as
// `capitals` says (a word before them, or a Tone item). `source` gives the
// document's bytes of each byte of `text` (may be empty).
std::vector<SpeechItem> spell(std::string_view text, Capitals capitals, const Prosody& prosody,
                              const std::vector<ByteSpan>& source = {});

// What the CHAR request says for its character (given as sent, an XML
// character entity such as &lt; included).
std::vector<SpeechItem> read_character(std::string_view character, const ReadingModes& modes);

// What the KEY request says for a key name such as "a", "shift_a", "control_x",
// "kp-5", "f12", "escape".
std::vector<SpeechItem> read_key(std::string_view key, const ReadingModes& modes);

}  // namespace zelvan_tts
