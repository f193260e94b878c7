// The 60 voices the recorded voice makes of its one speaker. A voice
// belongs to a person, named by the given name in the speaker table: the
// twin rows of a name (one in the person's language, one in Russian) are the
// same person. Every person has a pitch level and a vocal-tract length of
// his or her own, on a grid that keeps any two people at least 5% apart in
// one of them: women higher with a shorter tract (every formant raised),
// men around the speaker; beside them a pace, a melody (range, accents,
// declination; women wider and with a shallower fall) and a spectral tilt.
// Row 1 and row 20 are the speaker himself, unchanged. The row's language decides where an unmarked
// word is stressed and whether unstressed vowels are reduced.
#pragma once

#include <string>

namespace zelvan_tts::voice {

// Where a word without a stress mark is stressed in the voice's language.
enum class DefaultStress { Lexical = 0, Last = 1, First = 2, Penultimate = 3 };

struct SpeakerVoice {
    bool female;
    float pitch;  // factor on the speaker's pitch
    float tract;  // factor on every formant frequency
    float rate;   // factor on every duration
    DefaultStress stress;
    // Unstressed vowels are reduced as in Russian (Russian, Belarusian);
    // the other languages keep them full.
    bool reduces;
    float spread;   // factor on the melody's excursions from the base pitch
    float accent;   // log pitch added to stressed vowels
    float decline;  // log pitch lost from a sentence's start to its end
    float tilt;     // spectral tilt: + brighter, - darker
};

// The voice of speaker row 0..59. Throws std::out_of_range outside.
SpeakerVoice speaker_voice(int speaker_id);

// The given name part of a row's key ("aigul" for "bak_aigul2").
std::string given_name(int speaker_id);

}  // namespace zelvan_tts::voice
