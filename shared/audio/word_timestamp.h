// The time of one spoken word: what the engine measures, the server sends
// and every host turns into its own word events.
#pragma once

namespace zelvan_tts {

// One spoken word, in seconds of the delivered audio. The n-th record
// belongs to the n-th word of the processed text. 8 bytes, start first: the
// server sends it in this layout.
struct WordTimestamp {
    float start;
    float end;
};
static_assert(sizeof(WordTimestamp) == 8, "sent on the wire as two floats");

}  // namespace zelvan_tts
