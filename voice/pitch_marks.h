// Where the glottal pulses of a recording are: the pitch (YIN's cumulative
// mean normalised difference on a low-passed 8 kHz copy) and, from it, one
// mark in every voice period, all at one phase of it: the first on the main
// peak of a voiced stretch, each next where the period before it recurs
// best. Overlap-add synthesis cuts the recording into two-period grains
// centred on these marks, so that grains line up pulse on pulse, within a
// recording and where two recordings join.
// Unvoiced stretches get evenly spaced marks 5 ms apart.
#pragma once

#include <vector>

namespace zelvan_tts::voice {

inline constexpr int kPitchHop = 80;             // 5 ms at 16 kHz
inline constexpr int kUnvoicedMarkSpacing = 80;  // 5 ms at 16 kHz

// Pitch in Hz every kPitchHop samples (frame i centred on sample i * hop);
// 0 where the frame is unvoiced or silent.
std::vector<float> track_pitch(const std::vector<float>& x, float min_hz = 60.0f,
                               float max_hz = 300.0f);

// How much larger the positive pulse peaks of the voiced frames are than the
// negative ones (positive: the pulses point up). Summed over many
// recordings of one microphone it tells the polarity to mark.
double pulse_polarity(const std::vector<float>& x, const std::vector<float>& pitch);

struct PitchMark {
    int position;  // sample
    int period;    // samples: half the width of the grain centred here
    bool voiced;
};

// Marks over the whole recording, in order; `polarity` +1 marks the
// largest positive peak of each period, -1 the largest negative one.
std::vector<PitchMark> pitch_marks(const std::vector<float>& x, const std::vector<float>& pitch,
                                   int polarity);

}  // namespace zelvan_tts::voice
