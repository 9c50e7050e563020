#include "analysis/measures.h"

#include <algorithm>
#include <cmath>

#include "dsp/fft_engine.h"

namespace orve::analysis {
namespace {

double HannPeriodic(int32_t i, int32_t n) { return 0.5 - 0.5 * std::cos(2.0 * M_PI * i / n); }
double HannSymmetric(int32_t i, int32_t n) { return 0.5 - 0.5 * std::cos(2.0 * M_PI * i / (n - 1)); }

// |X[k]|^2 of a packed half spectrum (0 < k < N/2).
double BinPower(const std::vector<double>& X, int32_t k) {
    return X[2 * k - 1] * X[2 * k - 1] + X[2 * k] * X[2 * k];
}

}  // namespace

double Decibels(double ratio) { return 20.0 * std::log10(ratio); }
double Dbfs(double rms) { return rms > 0.0 ? 20.0 * std::log10(rms / kFullScale) : -200.0; }

double Rms(const std::vector<double>& x, size_t first, size_t stride, size_t count) {
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = first; i < x.size() && n < count; i += stride, ++n) sum += x[i] * x[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

double Rms(const Signal& s, int64_t first, int64_t count) {
    const int64_t end = std::min(first + count, s.Frames());
    double sum = 0.0;
    int64_t n = 0;
    for (int64_t f = std::max<int64_t>(first, 0); f < end; ++f)
        for (int32_t c = 0; c < s.channels; ++c, ++n) {
            const double v = s.samples[static_cast<size_t>(f * s.channels + c)];
            sum += v * v;
        }
    return n ? std::sqrt(sum / n) : 0.0;
}

double MaxDifference(const std::vector<double>& a, const std::vector<double>& b, int32_t channels, int32_t channel) {
    const size_t count = std::min(a.size(), b.size());
    const size_t first = channel < 0 ? 0 : static_cast<size_t>(channel);
    const size_t stride = channel < 0 ? 1 : static_cast<size_t>(channels);
    double worst = 0.0;
    for (size_t i = first; i < count; i += stride) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

double ToneAmplitude(const std::vector<double>& x, int32_t channels, int32_t channel, double frequency,
                     double sampleRate, size_t firstFrame, size_t frames) {
    double re = 0.0, im = 0.0;
    for (size_t f = 0; f < frames; ++f) {
        const size_t i = (firstFrame + f) * channels + channel;
        if (i >= x.size()) break;
        const double w = 2.0 * M_PI * frequency * static_cast<double>(firstFrame + f) / sampleRate;
        re += x[i] * std::cos(w);
        im -= x[i] * std::sin(w);
    }
    return frames ? 2.0 * std::hypot(re, im) / static_cast<double>(frames) : 0.0;
}

double ToneAmplitude(const Signal& s, int32_t channel, double frequency, int64_t firstFrame, int64_t frames) {
    const int64_t count = std::min(frames, s.Frames() - firstFrame);
    if (firstFrame < 0 || count <= 0) return 0.0;
    return ToneAmplitude(s.samples, s.channels, channel, frequency, s.sampleRate, static_cast<size_t>(firstFrame),
                         static_cast<size_t>(count));
}

double CrossingFrequency(const std::vector<double>& x, int32_t channels, int32_t channel, size_t from, size_t to,
                         double sampleRate) {
    size_t first = 0, last = 0, count = 0;
    for (size_t f = from + 1; f < to; ++f) {
        const double a = x[(f - 1) * channels + channel], b = x[f * channels + channel];
        if (a < 0.0 && b >= 0.0) {
            if (count == 0) first = f;
            last = f;
            ++count;
        }
    }
    return count > 1 ? (count - 1) * sampleRate / static_cast<double>(last - first) : 0.0;
}

PeriodFrequencies InstantaneousFrequency(const std::vector<double>& x, double sampleRate) {
    PeriodFrequencies result;
    double previous = -1.0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0 && x[i] >= 0.0) {
            const double at = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (previous >= 0.0) {
                result.frequency.push_back(sampleRate / (at - previous));
                result.when.push_back(at / sampleRate);
            }
            previous = at;
        }
    }
    return result;
}

std::pair<size_t, size_t> Extent(const std::vector<double>& x) {
    double peak = 0.0;
    for (double v : x) peak = std::max(peak, std::abs(v));
    size_t on = x.size(), off = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::abs(x[i]) > 0.1 * peak) {
            on = std::min(on, i);
            off = i;
        }
    }
    return {on, off};
}

double Duration(const std::vector<double>& x, double sampleRate) {
    const auto [on, off] = Extent(x);
    return off > on ? static_cast<double>(off - on) / sampleRate : 0.0;
}

double Fundamental(const std::vector<double>& x, double sampleRate) {
    const int32_t N = 16384;
    const auto [on, off] = Extent(x);
    if (off <= on || off - on < static_cast<size_t>(N)) return 0.0;
    const size_t start = (on + off) / 2 - N / 2;
    std::vector<double> frame(N);
    for (int32_t i = 0; i < N; ++i) frame[i] = x[start + i] * HannSymmetric(i, N);
    FftEngine fft(N, FftKind::Real);
    fft.ForwardReal(frame.data());
    auto power = [&](int32_t k) { return BinPower(frame, k); };
    const int32_t lo = static_cast<int32_t>(50.0 * N / sampleRate);
    const int32_t hi = static_cast<int32_t>(2000.0 * N / sampleRate);
    int32_t best = lo;
    for (int32_t k = lo; k <= hi; ++k)
        if (power(k) > power(best)) best = k;
    const double a = std::log(power(best - 1) + 1e-30), b = std::log(power(best) + 1e-30),
                 c = std::log(power(best + 1) + 1e-30);
    const double shift = (a - 2 * b + c) != 0.0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0.0;
    return (best + shift) * sampleRate / N;
}

double Flatness(const std::vector<double>& x, double sampleRate, double lowHz, double highHz) {
    const int32_t N = 1024;
    const auto [on, off] = Extent(x);
    FftEngine fft(N, FftKind::Real);
    std::vector<double> frame(N);
    const int32_t lo = std::max(1, static_cast<int32_t>(lowHz * N / sampleRate));
    const int32_t hi = std::min(N / 2 - 1, static_cast<int32_t>(highHz * N / sampleRate));
    double sum = 0.0;
    int frames = 0;
    for (size_t start = on; start + N <= off; start += N) {
        for (int32_t i = 0; i < N; ++i) frame[i] = x[start + i] * HannSymmetric(i, N);
        fft.ForwardReal(frame.data());
        double logSum = 0.0, linSum = 0.0;
        for (int32_t k = lo; k <= hi; ++k) {
            const double p = BinPower(frame, k) + 1e-12;
            logSum += std::log(p);
            linSum += p;
        }
        const int32_t bins = hi - lo + 1;
        sum += std::exp(logSum / bins) / (linSum / bins);
        ++frames;
    }
    return frames ? sum / frames : 0.0;
}

double BandPower(const Signal& s, int32_t channel, double lowHz, double highHz, int64_t first, int64_t count) {
    const int32_t N = 2048;
    FftEngine fft(N, FftKind::Real);
    std::vector<double> block(N);
    double total = 0.0;
    int blocks = 0;
    for (int64_t start = first; start + N <= first + count; start += N) {
        for (int32_t i = 0; i < N; ++i)
            block[i] = HannPeriodic(i, N) * s.samples[static_cast<size_t>((start + i) * s.channels + channel)];
        fft.ForwardReal(block.data());
        for (int32_t k = 1; k < N / 2; ++k) {
            const double f = static_cast<double>(k) * s.sampleRate / N;
            if (f >= lowHz && f < highHz) total += BinPower(block, k);
        }
        ++blocks;
    }
    return blocks ? total / blocks : 0.0;
}

std::vector<double> FrameEnergy(const Signal& s) {
    std::vector<double> energy(static_cast<size_t>(s.Frames()), 0.0);
    for (size_t f = 0; f < energy.size(); ++f) {
        double e = 0.0;
        for (int32_t c = 0; c < s.channels; ++c) {
            const double v = s.samples[f * s.channels + c];
            e += v * v;
        }
        energy[f] = e;
    }
    return energy;
}

double DecayTime(const std::vector<double>& energy, size_t start, double sampleRate, double lowestDb) {
    const size_t frames = energy.size();
    if (start >= frames) return 0.0;
    std::vector<double> decay(frames + 1, 0.0);
    for (size_t f = frames; f-- > 0;) decay[f] = decay[f + 1] + energy[f];
    if (decay[start] <= 0.0) return 0.0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0, n = 0;
    for (size_t f = start; f < frames; ++f) {
        const double db = 10.0 * std::log10(std::max(decay[f], 1e-300) / decay[start]);
        if (db > -5.0) continue;
        if (db < lowestDb) break;
        const double t = static_cast<double>(f - start) / sampleRate;
        sx += t, sy += db, sxx += t * t, sxy += t * db, n += 1;
    }
    if (n < 2) return 0.0;
    return -60.0 / ((n * sxy - sx * sy) / (n * sxx - sx * sx));
}

}  // namespace orve::analysis
