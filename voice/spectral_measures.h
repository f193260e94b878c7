// Spectral measures of speech: the voice builder compares recordings where
// units are joined, and the benchmark compares the voice with the speaker.
// The mel-cepstrum here is the speaker's smoothed log spectrum on a warped
// (mel-like) frequency axis: real cepstrum of a 25 ms Hamming frame, cut at
// 2 ms quefrency so that the harmonics of the voice drop out, then
// frequency-warped with an all-pass of coefficient 0.42 (the usual choice
// at 16 kHz).
#pragma once

#include <complex>
#include <vector>

namespace zelvan_tts::voice {

// In-place radix-2 FFT; the size must be a power of two. `inverse` runs the
// unscaled inverse transform.
void fft(std::vector<std::complex<double>>& x, bool inverse = false);

inline constexpr int kMelCepstrumOrder = 24;

// Mel-cepstral coefficients c0..c_order of the 25 ms frame of `signal`
// (16 kHz) centred on `centre`; samples outside the signal count as zero.
// c0 is the log level; c1.. describe the spectral envelope.
std::vector<float> mel_cepstrum_at(const std::vector<float>& signal, long centre,
                                   int order = kMelCepstrumOrder);

// Frames every `hop` samples, the first centred on sample 0.
std::vector<std::vector<float>> mel_cepstrogram(const std::vector<float>& signal, int hop,
                                                int order = kMelCepstrumOrder);

// The centroid in Hz of the mean power spectrum from 1 to 7 kHz (the upper
// formants, above the strong low harmonics) of the frames of `signal`
// (16 kHz) that `pitch` (one value every `hop` samples, 0 when unvoiced)
// calls voiced: a voice's brightness, which its vocal tract's length
// moves. 0 without a voiced frame.
double voiced_centroid(const std::vector<float>& signal, const std::vector<float>& pitch, int hop);

// Band-limited resampling with a windowed sinc (cut below the lower rate's
// Nyquist frequency).
std::vector<float> resample(const std::vector<float>& x, int from_rate, int to_rate);

}  // namespace zelvan_tts::voice
