// Demo cases of the time, pitch and modulation effects, each with the figure
// that shows what the effect did: fundamental, duration, vibrato rate and
// depth, spectral flatness.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "demo_cases.h"
#include "dsp/fft_engine.h"

namespace orve::demo {
namespace {

constexpr double kLeadSeconds = 0.25;    // silence before and after the tone
constexpr double kToneSeconds = 2.0;
constexpr double kFundamental = 220.0;

// A bowed-string-like tone: harmonics falling as 1/h, a slow swell, silent
// margins so that latency and stretching never cut it.
Signal HarmonicTone(int32_t sampleRate) {
    Signal s;
    s.sampleRate = sampleRate;
    s.channels = 2;
    const int64_t lead = static_cast<int64_t>(kLeadSeconds * sampleRate);
    const int64_t tone = static_cast<int64_t>(kToneSeconds * sampleRate);
    s.samples.assign(static_cast<size_t>(2 * (2 * lead + tone)), 0.0);
    for (int64_t f = 0; f < tone; ++f) {
        const double t = static_cast<double>(f) / sampleRate;
        double v = 0.0;
        for (int h = 1; h <= 8 && h * kFundamental < 0.45 * sampleRate; ++h)
            v += std::sin(2.0 * M_PI * h * kFundamental * t) / h;
        const double ramp = std::min(1.0, std::min(t, kToneSeconds - t) / 0.02);
        const double value = 9000.0 * ramp * (0.8 + 0.2 * std::sin(2.0 * M_PI * 0.5 * t)) * v / 1.8;
        s.samples[2 * (lead + f)] = value;
        s.samples[2 * (lead + f) + 1] = value;
    }
    return s;
}

// A steady 1 kHz sine (the vibrato is read off its zero crossings).
Signal PureTone(int32_t sampleRate) {
    Signal s;
    s.sampleRate = sampleRate;
    s.channels = 2;
    const int64_t frames = static_cast<int64_t>(kToneSeconds * sampleRate);
    s.samples.resize(static_cast<size_t>(2 * frames));
    for (int64_t f = 0; f < frames; ++f) {
        const double v = 10000.0 * std::sin(2.0 * M_PI * 1000.0 * f / sampleRate);
        s.samples[2 * f] = s.samples[2 * f + 1] = v;
    }
    return s;
}

std::vector<double> Channel(const Signal& s, int32_t c) {
    std::vector<double> x;
    if (s.channels <= 0) return x;
    x.reserve(s.samples.size() / s.channels);
    for (size_t i = c; i < s.samples.size(); i += s.channels) x.push_back(s.samples[i]);
    return x;
}

// First and last frame above a tenth of the peak: where the programme sounds.
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

double Duration(const std::vector<double>& x, int32_t rate) {
    const auto [on, off] = Extent(x);
    return off > on ? static_cast<double>(off - on) / rate : 0.0;
}

// Strongest spectral peak between 50 Hz and 2 kHz in a Hann-windowed stretch
// from the middle of the sounding part, refined by parabolic interpolation.
double Fundamental(const std::vector<double>& x, int32_t rate) {
    const int32_t N = 16384;
    const auto [on, off] = Extent(x);
    if (off <= on || off - on < static_cast<size_t>(N)) return 0.0;
    const size_t start = (on + off) / 2 - N / 2;
    std::vector<double> frame(N);
    for (int32_t i = 0; i < N; ++i)
        frame[i] = x[start + i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * i / (N - 1)));
    FftEngine fft(N, FftKind::Real);
    fft.ForwardReal(frame.data());
    auto power = [&](int32_t k) { return frame[2 * k - 1] * frame[2 * k - 1] + frame[2 * k] * frame[2 * k]; };
    const int32_t lo = static_cast<int32_t>(50.0 * N / rate), hi = static_cast<int32_t>(2000.0 * N / rate);
    int32_t best = lo;
    for (int32_t k = lo; k <= hi; ++k)
        if (power(k) > power(best)) best = k;
    const double a = std::log(power(best - 1) + 1e-30), b = std::log(power(best) + 1e-30),
                 c = std::log(power(best + 1) + 1e-30);
    const double shift = (a - 2 * b + c) != 0.0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0.0;
    return (best + shift) * rate / N;
}

// Spectral flatness (geometric / arithmetic mean of the power over the band the
// programme's harmonics occupy, 100 Hz..1.9 kHz), averaged over 1024-point
// frames of the sounding part: near 0 for a harmonic tone, towards 1 for noise.
double Flatness(const std::vector<double>& x, int32_t rate) {
    const int32_t N = 1024;
    const auto [on, off] = Extent(x);
    FftEngine fft(N, FftKind::Real);
    std::vector<double> frame(N);
    const int32_t lo = std::max(1, static_cast<int32_t>(100.0 * N / rate));
    const int32_t hi = std::min(N / 2 - 1, static_cast<int32_t>(1900.0 * N / rate));
    double sum = 0.0;
    int frames = 0;
    for (size_t start = on; start + N <= off; start += N) {
        for (int32_t i = 0; i < N; ++i)
            frame[i] = x[start + i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * i / (N - 1)));
        fft.ForwardReal(frame.data());
        double logSum = 0.0, linSum = 0.0;
        for (int32_t k = lo; k <= hi; ++k) {
            const double p = frame[2 * k - 1] * frame[2 * k - 1] + frame[2 * k] * frame[2 * k] + 1e-12;
            logSum += std::log(p);
            linSum += p;
        }
        const int32_t bins = hi - lo + 1;
        sum += std::exp(logSum / bins) / (linSum / bins);
        ++frames;
    }
    return frames ? sum / frames : 0.0;
}

std::string Format(const char* format, double a, double b, double c = 0.0, double d = 0.0, double e = 0.0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d, e);
    return text;
}

std::string MeasurePitch(const Signal& input, const Signal& output) {
    const double before = Fundamental(Channel(input, 0), input.sampleRate);
    const double after = Fundamental(Channel(output, 0), output.sampleRate);
    const double durationIn = Duration(Channel(input, 0), input.sampleRate);
    const double durationOut = Duration(Channel(output, 0), output.sampleRate);
    return Format("fundamental %.1f Hz -> %.1f Hz (x%.3f), duration %.2f s -> %.2f s", before, after,
                  before > 0 ? after / before : 0.0, durationIn, durationOut);
}

std::string MeasureDuration(const Signal& input, const Signal& output) {
    const double before = Duration(Channel(input, 0), input.sampleRate);
    const double after = Duration(Channel(output, 0), output.sampleRate);
    const double pitchIn = Fundamental(Channel(input, 0), input.sampleRate);
    const double pitchOut = Fundamental(Channel(output, 0), output.sampleRate);
    return Format("duration %.3f s -> %.3f s (x%.3f), fundamental %.1f Hz -> %.1f Hz", before, after,
                  before > 0 ? after / before : 0.0, pitchIn, pitchOut);
}

// Instantaneous frequency from the periods between sub-sample upward zero
// crossings; rate from its passes through the mean, depth as half its swing.
std::string MeasureVibrato(const Signal& input, const Signal& output) {
    const auto x = Channel(output, 0);
    const double rate = output.sampleRate;
    std::vector<double> when, frequency;
    double previous = -1.0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0 && x[i] >= 0.0) {
            const double at = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (previous >= 0.0) {
                frequency.push_back(rate / (at - previous));
                when.push_back(at / rate);
            }
            previous = at;
        }
    }
    if (frequency.size() < 20) return "no tone in the output";
    const size_t skip = 10;   // past the delay line's fill
    double mean = 0.0;
    for (size_t k = skip; k < frequency.size(); ++k) mean += frequency[k];
    mean /= static_cast<double>(frequency.size() - skip);
    const auto [low, high] = std::minmax_element(frequency.begin() + skip, frequency.end());
    int passes = 0;
    double first = 0.0, last = 0.0;
    for (size_t k = skip + 1; k < frequency.size(); ++k) {
        if (frequency[k - 1] < mean && frequency[k] >= mean) {
            if (passes == 0) first = when[k];
            last = when[k];
            ++passes;
        }
    }
    const double vibratoRate = passes > 1 ? (passes - 1) / (last - first) : 0.0;
    const double depth = 0.5 * (*high - *low);
    const double inputPitch = Fundamental(Channel(input, 0), input.sampleRate);
    return Format("tone %.1f Hz: vibrato rate %.2f Hz, depth +-%.1f Hz (+-%.2f %%), mean %.1f Hz", inputPitch,
                  vibratoRate, depth, 100.0 * depth / mean, mean);
}

std::string MeasureFlatness(const Signal& input, const Signal& output) {
    const auto x = Channel(input, 0), y = Channel(output, 0);
    auto rms = [](const std::vector<double>& v) {
        double s = 0.0;
        for (double a : v) s += a * a;
        return v.empty() ? 0.0 : std::sqrt(s / v.size());
    };
    const double levelIn = rms(x), levelOut = rms(y);
    return Format("spectral flatness %.4f -> %.4f, level %.1f dB -> %.1f dB", Flatness(x, input.sampleRate),
                  Flatness(y, output.sampleRate), 20.0 * std::log10(levelIn / 32768.0 + 1e-12),
                  20.0 * std::log10(levelOut / 32768.0 + 1e-12));
}

}  // namespace

std::vector<DemoCase> TimePitchDemos() {
    return {
        {"pitch_child", EffectId::PitchScaler, "Child", {}, 0.0, HarmonicTone, MeasurePitch},
        {"pitch_basstone", EffectId::PitchScaler, "BassTone", {}, 0.0, HarmonicTone, MeasurePitch},
        {"tempo_slowdown", EffectId::TempoScaler, "SlowDown", {}, 0.0, HarmonicTone, MeasureDuration},
        {"tempo_speedup", EffectId::TempoScaler, "SpeedUp", {}, 0.0, HarmonicTone, MeasureDuration},
        {"tempo_fastest", EffectId::TempoScaler, "", {{"Tempo", -1.3}}, 0.0, HarmonicTone, MeasureDuration},
        {"resampler_downsample", EffectId::Resampler, "DownSample", {}, 0.0, HarmonicTone, MeasureDuration},
        {"resampler_upsample", EffectId::Resampler, "UpSample", {}, 0.0, HarmonicTone, MeasureDuration},
        {"vibrato", EffectId::Vibrato, "", {}, 0.0, PureTone, MeasureVibrato},
        {"vibrato_slow_deep", EffectId::Vibrato, "", {{"VibF", 3.0}, {"Delay", -2.5}}, 0.0, PureTone, MeasureVibrato},
        {"whisper", EffectId::Whisper, "", {}, 0.0, HarmonicTone, MeasureFlatness},
    };
}

}  // namespace orve::demo
