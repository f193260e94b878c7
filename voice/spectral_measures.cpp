#include "voice/spectral_measures.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zelvan_tts::voice {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFrame = 400;  // 25 ms at 16 kHz
constexpr int kFftSize = 512;
constexpr int kCepstrumCut = 32;  // 2 ms: below the period of any voice
constexpr double kWarp = 0.42;

const std::vector<double>& hamming() {
    static const std::vector<double> w = [] {
        std::vector<double> v(kFrame);
        for (int i = 0; i < kFrame; ++i) v[i] = 0.54 - 0.46 * std::cos(2 * kPi * i / (kFrame - 1));
        return v;
    }();
    return w;
}

// Cepstrum on the linear frequency axis to the warped one (the recursion of
// an all-pass frequency transformation).
std::vector<double> warp(const std::vector<double>& c, int order) {
    const double b = 1.0 - kWarp * kWarp;
    std::vector<double> g(static_cast<std::size_t>(order) + 1, 0.0), d(g.size());
    for (int i = static_cast<int>(c.size()) - 1; i >= 0; --i) {
        d = g;
        g[0] = c[static_cast<std::size_t>(i)] + kWarp * d[0];
        if (order >= 1) g[1] = b * d[0] + kWarp * d[1];
        for (int j = 2; j <= order; ++j) g[j] = d[j - 1] + kWarp * (d[j] - g[j - 1]);
    }
    return g;
}

}  // namespace

void fft(std::vector<std::complex<double>>& x, bool inverse) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = 2 * kPi / static_cast<double>(len) * (inverse ? 1 : -1);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = x[i + k];
                const std::complex<double> v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

std::vector<float> mel_cepstrum_at(const std::vector<float>& signal, long centre, int order) {
    const auto& window = hamming();
    std::vector<std::complex<double>> spectrum(kFftSize, 0.0);
    const long from = centre - kFrame / 2;
    for (int i = 0; i < kFrame; ++i) {
        const long at = from + i;
        if (at >= 0 && at < static_cast<long>(signal.size()))
            spectrum[static_cast<std::size_t>(i)] =
                signal[static_cast<std::size_t>(at)] * window[i];
    }
    fft(spectrum);
    for (auto& bin : spectrum) bin = std::log(std::max(std::abs(bin), 1e-5));
    fft(spectrum, true);
    std::vector<double> c(kCepstrumCut);
    c[0] = spectrum[0].real() / kFftSize;
    for (int i = 1; i < kCepstrumCut; ++i) c[i] = 2.0 * spectrum[i].real() / kFftSize;
    const std::vector<double> mc = warp(c, order);
    return std::vector<float>(mc.begin(), mc.end());
}

std::vector<std::vector<float>> mel_cepstrogram(const std::vector<float>& signal, int hop,
                                                int order) {
    std::vector<std::vector<float>> frames;
    for (long centre = 0; centre < static_cast<long>(signal.size()); centre += hop)
        frames.push_back(mel_cepstrum_at(signal, centre, order));
    return frames;
}

double voiced_centroid(const std::vector<float>& signal, const std::vector<float>& pitch, int hop) {
    constexpr int kSize = 512;
    std::vector<double> power(kSize / 2, 0.0);
    bool any = false;
    for (std::size_t f = 0; f < pitch.size(); ++f) {
        if (pitch[f] <= 0) continue;
        const long centre = static_cast<long>(f) * hop;
        if (centre - kSize / 2 < 0 || centre + kSize / 2 > static_cast<long>(signal.size())) continue;
        std::vector<std::complex<double>> x(kSize);
        for (int i = 0; i < kSize; ++i)
            x[static_cast<std::size_t>(i)] =
                signal[static_cast<std::size_t>(centre - kSize / 2 + i)] *
                (0.5 - 0.5 * std::cos(2 * M_PI * i / (kSize - 1)));
        fft(x);
        for (int k = 0; k < kSize / 2; ++k) power[static_cast<std::size_t>(k)] += std::norm(x[static_cast<std::size_t>(k)]);
        any = true;
    }
    if (!any) return 0.0;
    double sum = 0, weighted = 0;
    for (int k = 0; k < kSize / 2; ++k) {
        const double hz = k * 16000.0 / kSize;
        if (hz < 1000 || hz > 7000) continue;
        sum += power[static_cast<std::size_t>(k)];
        weighted += hz * power[static_cast<std::size_t>(k)];
    }
    return sum > 0 ? weighted / sum : 0.0;
}

std::vector<float> resample(const std::vector<float>& x, int from_rate, int to_rate) {
    if (from_rate == to_rate || x.empty()) return x;
    const double step = static_cast<double>(from_rate) / to_rate;
    // Cut-off relative to the input rate, a little below the lower Nyquist.
    const double cutoff = 0.47 * std::min(1.0, 1.0 / step);
    const int half = static_cast<int>(std::ceil(16.0 / cutoff / 2.0)) * 2;
    const auto out_len = static_cast<std::size_t>(static_cast<double>(x.size()) / step);
    std::vector<float> y(out_len);
    for (std::size_t m = 0; m < out_len; ++m) {
        const double pos = static_cast<double>(m) * step;
        const long centre = static_cast<long>(std::floor(pos));
        double sum = 0.0;
        for (long k = centre - half + 1; k <= centre + half; ++k) {
            if (k < 0 || k >= static_cast<long>(x.size())) continue;
            const double t = pos - static_cast<double>(k);
            const double arg = 2.0 * cutoff * t;
            const double sinc = std::abs(arg) < 1e-9 ? 1.0 : std::sin(kPi * arg) / (kPi * arg);
            const double window = 0.5 + 0.5 * std::cos(kPi * t / (half + 1));
            sum += x[static_cast<std::size_t>(k)] * 2.0 * cutoff * sinc * window;
        }
        y[m] = static_cast<float>(sum);
    }
    return y;
}

}  // namespace zelvan_tts::voice
