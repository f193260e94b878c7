#include "voice/pitch_marks.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zelvan_tts::voice {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 16000;

// Second-order low-pass (bilinear, Butterworth Q) at `cutoff` Hz, run twice.
std::vector<float> low_pass(const std::vector<float>& x, double cutoff) {
    const double w = 2 * kPi * cutoff / kRate;
    const double alpha = std::sin(w) / (2 * 0.7071);
    const double a0 = 1 + alpha;
    const double b0 = (1 - std::cos(w)) / 2 / a0, b1 = (1 - std::cos(w)) / a0, b2 = b0;
    const double a1 = -2 * std::cos(w) / a0, a2 = (1 - alpha) / a0;
    std::vector<float> y = x;
    for (int pass = 0; pass < 2; ++pass) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (float& v : y) {
            const double in = v;
            const double out = b0 * in + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = in;
            y2 = y1;
            y1 = out;
            v = static_cast<float>(out);
        }
    }
    return y;
}

double frame_rms(const std::vector<float>& x, long centre, int half) {
    double sum = 0;
    int n = 0;
    for (long i = std::max(0L, centre - half); i < std::min<long>(x.size(), centre + half);
         ++i, ++n)
        sum += static_cast<double>(x[static_cast<std::size_t>(i)]) * x[static_cast<std::size_t>(i)];
    return n ? std::sqrt(sum / n) : 0.0;
}

}  // namespace

std::vector<float> track_pitch(const std::vector<float>& x, float min_hz, float max_hz) {
    const std::size_t frames = x.size() / kPitchHop + 1;
    std::vector<float> f0(frames, 0.0f);
    if (x.size() < 800) return f0;

    // An 8 kHz copy with little above 1 kHz: the formants matter less.
    const std::vector<float> smooth = low_pass(x, 1000.0);
    std::vector<double> y(x.size() / 2);
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = smooth[2 * i];
    std::vector<double> energy(y.size() + 1, 0.0);
    for (std::size_t i = 0; i < y.size(); ++i) energy[i + 1] = energy[i] + y[i] * y[i];

    const int tau_min = static_cast<int>(std::floor(8000.0 / max_hz));
    const int tau_max = static_cast<int>(std::ceil(8000.0 / min_hz));
    constexpr int kWindow = 200;  // 25 ms at 8 kHz

    // Frames quieter than 40 dB below the loud part of the recording are silence.
    std::vector<double> levels(frames);
    for (std::size_t i = 0; i < frames; ++i)
        levels[i] = frame_rms(x, static_cast<long>(i) * kPitchHop, 200);
    std::vector<double> sorted = levels;
    std::sort(sorted.begin(), sorted.end());
    const double gate = 0.01 * sorted[sorted.size() * 95 / 100];

    std::vector<double> d(static_cast<std::size_t>(tau_max) + 2), cm(d.size());
    for (std::size_t i = 0; i < frames; ++i) {
        if (levels[i] < gate) continue;
        const long start = static_cast<long>(i) * (kPitchHop / 2) - (kWindow + tau_max) / 2;
        if (start < 0 || start + kWindow + tau_max + 1 >= static_cast<long>(y.size())) continue;
        const double* s = y.data() + start;
        const double e0 = energy[static_cast<std::size_t>(start) + kWindow] -
                          energy[static_cast<std::size_t>(start)];
        double running = 0.0;
        cm[0] = 1.0;
        for (int tau = 1; tau <= tau_max + 1; ++tau) {
            double r = 0.0;
            for (int j = 0; j < kWindow; ++j) r += s[j] * s[j + tau];
            const double et = energy[static_cast<std::size_t>(start + tau + kWindow)] -
                              energy[static_cast<std::size_t>(start + tau)];
            d[static_cast<std::size_t>(tau)] = std::max(0.0, e0 + et - 2 * r);
            running += d[static_cast<std::size_t>(tau)];
            cm[static_cast<std::size_t>(tau)] =
                running > 0 ? d[static_cast<std::size_t>(tau)] * tau / running : 1.0;
        }
        int best = -1;
        for (int tau = tau_min; tau <= tau_max; ++tau) {
            if (cm[static_cast<std::size_t>(tau)] < 0.15) {
                while (tau < tau_max &&
                       cm[static_cast<std::size_t>(tau) + 1] < cm[static_cast<std::size_t>(tau)])
                    ++tau;
                best = tau;
                break;
            }
        }
        if (best < 0) {
            best = tau_min;
            for (int tau = tau_min; tau <= tau_max; ++tau)
                if (cm[static_cast<std::size_t>(tau)] < cm[static_cast<std::size_t>(best)])
                    best = tau;
        }
        if (cm[static_cast<std::size_t>(best)] > 0.35) continue;
        const double l = cm[static_cast<std::size_t>(best) - 1],
                     c = cm[static_cast<std::size_t>(best)],
                     r = cm[static_cast<std::size_t>(best) + 1];
        const double denom = l - 2 * c + r;
        const double shift =
            std::abs(denom) > 1e-12 ? std::clamp(0.5 * (l - r) / denom, -0.5, 0.5) : 0.0;
        f0[i] = static_cast<float>(8000.0 / (best + shift));
    }

    // Median of five over voiced neighbours; an octave jump against the
    // local median is folded back; voiced islands under 20 ms are dropped.
    std::vector<float> out(f0);
    for (std::size_t i = 0; i < frames; ++i) {
        if (f0[i] <= 0) continue;
        std::vector<float> near;
        for (std::size_t k = i >= 2 ? i - 2 : 0; k <= std::min(frames - 1, i + 2); ++k)
            if (f0[k] > 0) near.push_back(f0[k]);
        std::nth_element(near.begin(), near.begin() + near.size() / 2, near.end());
        out[i] = near[near.size() / 2];
    }
    for (std::size_t i = 0; i < frames; ++i) {
        if (out[i] <= 0) continue;
        std::vector<float> near;
        for (std::size_t k = i >= 15 ? i - 15 : 0; k <= std::min(frames - 1, i + 15); ++k)
            if (out[k] > 0) near.push_back(out[k]);
        std::nth_element(near.begin(), near.begin() + near.size() / 2, near.end());
        const float m = near[near.size() / 2];
        if (out[i] > 1.6f * m && out[i] / 2 >= min_hz)
            out[i] /= 2;
        else if (out[i] < 0.62f * m && out[i] * 2 <= max_hz)
            out[i] *= 2;
    }
    for (std::size_t i = 0; i < frames;) {
        if (out[i] <= 0) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < frames && out[j] > 0) ++j;
        if (j - i < 4)
            std::fill(out.begin() + static_cast<long>(i), out.begin() + static_cast<long>(j), 0.0f);
        i = j;
    }
    return out;
}

double pulse_polarity(const std::vector<float>& x, const std::vector<float>& pitch) {
    double sum = 0.0;
    for (std::size_t i = 0; i < pitch.size(); ++i) {
        if (pitch[i] <= 0) continue;
        const long centre = static_cast<long>(i) * kPitchHop;
        const long half = static_cast<long>(kRate / pitch[i] / 2);
        if (centre - half < 0 || centre + half >= static_cast<long>(x.size())) continue;
        const auto [lo, hi] =
            std::minmax_element(x.begin() + centre - half, x.begin() + centre + half);
        sum += static_cast<double>(*hi) + static_cast<double>(*lo);
    }
    return sum;
}

std::vector<PitchMark> pitch_marks(const std::vector<float>& x, const std::vector<float>& pitch,
                                   int polarity) {
    const long n = static_cast<long>(x.size());
    // A lightly smoothed copy turned so that pulses point up.
    std::vector<float> y(x.size());
    for (long i = 0; i < n; ++i) {
        const float a = x[static_cast<std::size_t>(std::max(0L, i - 1))];
        const float b = x[static_cast<std::size_t>(std::min(n - 1, i + 1))];
        y[static_cast<std::size_t>(i)] =
            static_cast<float>(polarity) *
            (0.25f * a + 0.5f * x[static_cast<std::size_t>(i)] + 0.25f * b);
    }

    std::vector<int> voiced_marks;
    const long frames = static_cast<long>(pitch.size());
    for (long f = 0; f < frames;) {
        if (pitch[static_cast<std::size_t>(f)] <= 0) {
            ++f;
            continue;
        }
        long g = f;
        while (g < frames && pitch[static_cast<std::size_t>(g)] > 0) ++g;
        const long from = std::max(0L, f * kPitchHop - kPitchHop / 2);
        const long to = std::min(n - 1, (g - 1) * kPitchHop + kPitchHop / 2);
        const auto period = [&](long at) {
            const long frame = std::clamp(at / kPitchHop, f, g - 1);
            return static_cast<double>(kRate) / pitch[static_cast<std::size_t>(frame)];
        };
        // The next pulse about one period on: where the period around the
        // last mark recurs best (normalised cross-correlation over one
        // period), so that every mark falls at the same phase of its period
        // rather than on whichever of two like peaks is the higher this
        // time: grains cut at alternating phases alternate in shape.
        const auto next = [&](long from_mark, int direction) {
            const double t = period(from_mark);
            const long half = static_cast<long>(t / 2);
            const long lo = from_mark + direction * static_cast<long>(0.75 * t);
            const long hi = from_mark + direction * static_cast<long>(1.25 * t);
            const long a = std::max(std::min(lo, hi), half), b = std::min(std::max(lo, hi), n - 1 - half);
            if (from_mark - half < 0 || from_mark + half >= n) return from_mark;
            const float* here = y.data() + from_mark - half;
            long best = from_mark;
            double best_score = -1e30;
            for (long k = a; k <= b; ++k) {
                const float* there = y.data() + k - half;
                double xy = 0, yy = 1e-12;
                for (long j = 0; j <= 2 * half; ++j) {
                    xy += static_cast<double>(here[j]) * there[j];
                    yy += static_cast<double>(there[j]) * there[j];
                }
                const double score = xy / std::sqrt(yy);
                if (score > best_score) {
                    best_score = score;
                    best = k;
                }
            }
            return best;
        };
        long anchor = from;
        for (long k = from; k <= to; ++k)
            if (y[static_cast<std::size_t>(k)] > y[static_cast<std::size_t>(anchor)]) anchor = k;
        std::vector<int> run{static_cast<int>(anchor)};
        for (long m = anchor;;) {
            const long k = next(m, -1);
            if (k < from || k >= m) break;
            run.push_back(static_cast<int>(k));
            m = k;
        }
        std::reverse(run.begin(), run.end());
        for (long m = anchor;;) {
            const long k = next(m, 1);
            if (k > to || k <= m) break;
            run.push_back(static_cast<int>(k));
            m = k;
        }
        voiced_marks.insert(voiced_marks.end(), run.begin(), run.end());
        f = g;
    }

    // Voiced marks with their periods, and evenly spaced unvoiced marks in
    // the gaps (gaps under two periods are a pulse we missed: left empty).
    std::vector<PitchMark> marks;
    const auto voiced_period = [&](std::size_t i) {
        const int at = voiced_marks[i];
        const long frame = std::clamp<long>(at / kPitchHop, 0, frames - 1);
        const double t = pitch[static_cast<std::size_t>(frame)] > 0
                             ? kRate / pitch[static_cast<std::size_t>(frame)]
                             : kUnvoicedMarkSpacing;
        const bool has_prev = i > 0 && at - voiced_marks[i - 1] < 1.5 * t;
        const bool has_next = i + 1 < voiced_marks.size() && voiced_marks[i + 1] - at < 1.5 * t;
        double p = t;
        if (has_prev && has_next)
            p = 0.5 * (voiced_marks[i + 1] - voiced_marks[i - 1]);
        else if (has_prev)
            p = at - voiced_marks[i - 1];
        else if (has_next)
            p = voiced_marks[i + 1] - at;
        return static_cast<int>(std::lround(std::clamp(p, 0.7 * t, 1.3 * t)));
    };
    const auto fill = [&](long a, long b) {  // marks strictly between a and b
        const long count = std::lround(static_cast<double>(b - a) / kUnvoicedMarkSpacing) - 1;
        for (long k = 1; k <= count; ++k)
            marks.push_back(
                {static_cast<int>(a + (b - a) * k / (count + 1)), kUnvoicedMarkSpacing, false});
    };
    long last = -kUnvoicedMarkSpacing / 2;
    for (std::size_t i = 0; i < voiced_marks.size(); ++i) {
        const int p = voiced_period(i);
        if (voiced_marks[i] - last > 2 * p) fill(last, voiced_marks[i]);
        marks.push_back({voiced_marks[i], p, true});
        last = voiced_marks[i];
    }
    fill(last, n + kUnvoicedMarkSpacing / 2);
    return marks;
}

}  // namespace zelvan_tts::voice
