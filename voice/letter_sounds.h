// How the recorded voice reads each symbol of the alphabet. The speaker
// read Russian; a letter of another language the product speaks gets the
// nearest sound he recorded (қ as к, ә as a soft-fronted а, ң as н, ү as a
// soft у), so that no letter is silent. Punctuation becomes pauses and
// tells the pitch where a sentence ends or asks.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zelvan_tts::voice {

enum class LetterKind : std::int8_t {
    None = 0,   // framing ids and anything the voice ignores
    Vowel = 1,  // a syllable
    Consonant = 2,
    SoftSign = 3,    // ь: softens the consonant before it
    Separator = 4,   // ъ and the apostrophe: the next я, ю, е, ё start with й
    StressMark = 5,  // + before the stressed vowel
    Space = 6,
    Pause = 7,   // punctuation that the speaker pauses at
    Hyphen = 8,  // joins the halves of a word such as кто-то
    Glide = 9,   // ў: a short у that makes no syllable
};

enum class PauseKind : std::int8_t {
    None = 0,
    Comma = 1,
    Period = 2,
    Exclamation = 3,
    Question = 4,
    Ellipsis = 5
};

struct LetterSound {
    LetterKind kind = LetterKind::None;
    int vowel = 0;                // vowels and glides: the stressed phone of the vowel's quality
    bool iotated = false;         // я ю е ё є: with й at a syllable's start
    bool always_iotated = false;  // ї: with й after consonants too
    bool softens = false;         // the consonant before it is soft
    bool stressed = false;        // ё: always stressed
    int hard_phone = 0;           // consonants: the phone before a hard vowel
    int soft_phone = 0;   // ... and before a softening letter (ж ш ц stay hard, ч щ й soft)
    float length = 1.0f;  // on the phone's usual length (ӑ ӗ short, ӣ ӯ long)
    PauseKind pause = PauseKind::None;
};

// The reading of every symbol id, 0..84.
const std::array<LetterSound, 85>& letter_sounds();

// The symbol id's character as UTF-8 (the voice spells words out to
// recognise exceptional ones such as что or сегодня).
std::string symbol_text(int symbol_id);

}  // namespace zelvan_tts::voice
