// Constants of the voice model, fixed in the program rather than read from it.
#pragma once

#include "shared/symbols/speakers.h"

namespace zelvan_tts {

// Every audio buffer in the system is mono at this rate.
inline constexpr int kSampleRate = 48000;

// Number of voices; one per row of the speaker table.
inline constexpr int kSpeakerCount = 60;
static_assert(kSpeakerCount == static_cast<int>(kSpeakerTableSize));

}  // namespace zelvan_tts
