// Demo cases of the time, pitch and modulation effects, each with the figure
// that shows what the effect did: fundamental, duration, vibrato rate and
// depth, spectral flatness.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/measures.h"
#include "demo_cases.h"

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

using analysis::Duration;
using analysis::Fundamental;

std::string Format(const char* format, double a, double b, double c = 0.0, double d = 0.0, double e = 0.0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d, e);
    return text;
}

Measurement MeasurePitch(const Signal& input, const Signal& output) {
    const double before = Fundamental(input.Channel(0), input.sampleRate);
    const double after = Fundamental(output.Channel(0), output.sampleRate);
    const double durationIn = Duration(input.Channel(0), input.sampleRate);
    const double durationOut = Duration(output.Channel(0), output.sampleRate);
    const double ratio = before > 0 ? after / before : 0.0;
    return {Format("fundamental %.1f Hz -> %.1f Hz (x%.3f), duration %.2f s -> %.2f s", before, after, ratio,
                   durationIn, durationOut),
            {{"pitchRatio", ratio}, {"durationRatio", durationOut / durationIn}}};
}

Measurement MeasureDuration(const Signal& input, const Signal& output) {
    const double before = Duration(input.Channel(0), input.sampleRate);
    const double after = Duration(output.Channel(0), output.sampleRate);
    const double pitchIn = Fundamental(input.Channel(0), input.sampleRate);
    const double pitchOut = Fundamental(output.Channel(0), output.sampleRate);
    const double ratio = before > 0 ? after / before : 0.0;
    return {Format("duration %.3f s -> %.3f s (x%.3f), fundamental %.1f Hz -> %.1f Hz", before, after, ratio, pitchIn,
                   pitchOut),
            {{"durationRatio", ratio}, {"pitchRatio", pitchOut / pitchIn}}};
}

// Instantaneous frequency from the periods between sub-sample upward zero
// crossings; rate from its passes through the mean, depth as half its swing.
Measurement MeasureVibrato(const Signal& input, const Signal& output) {
    const analysis::PeriodFrequencies periods = analysis::InstantaneousFrequency(output.Channel(0), output.sampleRate);
    const std::vector<double>& when = periods.when;
    const std::vector<double>& frequency = periods.frequency;
    if (frequency.size() < 20) return {"no tone in the output", {}};
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
    const double inputPitch = Fundamental(input.Channel(0), input.sampleRate);
    return {Format("tone %.1f Hz: vibrato rate %.2f Hz, depth +-%.1f Hz (+-%.2f %%), mean %.1f Hz", inputPitch,
                   vibratoRate, depth, 100.0 * depth / mean, mean),
            {{"rate", vibratoRate}, {"depthPercent", 100.0 * depth / mean}}};
}

// Over the band the programme's harmonics occupy.
constexpr double kFlatnessLowHz = 100.0;
constexpr double kFlatnessHighHz = 1900.0;

Measurement MeasureFlatness(const Signal& input, const Signal& output) {
    const auto x = input.Channel(0), y = output.Channel(0);
    const double levelIn = analysis::Rms(x), levelOut = analysis::Rms(y);
    const double flatIn = analysis::Flatness(x, input.sampleRate, kFlatnessLowHz, kFlatnessHighHz);
    const double flatOut = analysis::Flatness(y, output.sampleRate, kFlatnessLowHz, kFlatnessHighHz);
    return {Format("spectral flatness %.4f -> %.4f, level %.1f dB -> %.1f dB", flatIn, flatOut,
                   20.0 * std::log10(levelIn / 32768.0 + 1e-12), 20.0 * std::log10(levelOut / 32768.0 + 1e-12)),
            {{"flatnessIn", flatIn}, {"flatnessOut", flatOut}}};
}

}  // namespace

// Pitch moves by 3^knob and keeps the duration; tempo and resampling stretch
// by the factor they realise (2^knob within a few tenths of a percent), the
// tempo scaler keeping the pitch and the resampler moving it inversely.
std::vector<DemoCase> TimePitchDemos() {
    auto pitch = [](double ratio) {
        return std::vector<Expectation>{{"pitchRatio", ratio * 0.99, ratio * 1.01}, {"durationRatio", 0.98, 1.02}};
    };
    auto tempo = [](double ratio) {
        return std::vector<Expectation>{{"durationRatio", ratio * 0.97, ratio * 1.03}, {"pitchRatio", 0.995, 1.005}};
    };
    auto resample = [](double ratio) {
        return std::vector<Expectation>{{"durationRatio", ratio * 0.99, ratio * 1.01},
                                        {"pitchRatio", 0.99 / ratio, 1.01 / ratio}};
    };
    return {
        {"pitch_child", EffectId::PitchScaler, "Child", {}, 0.0, HarmonicTone, MeasurePitch, pitch(1.5518)},
        {"pitch_basstone", EffectId::PitchScaler, "BassTone", {}, 0.0, HarmonicTone, MeasurePitch, pitch(0.6444)},
        {"tempo_slowdown", EffectId::TempoScaler, "SlowDown", {}, 0.0, HarmonicTone, MeasureDuration, tempo(1.3195)},
        {"tempo_speedup", EffectId::TempoScaler, "SpeedUp", {}, 0.0, HarmonicTone, MeasureDuration, tempo(0.7579)},
        {"tempo_fastest", EffectId::TempoScaler, "", {{"Tempo", -1.3}}, 0.0, HarmonicTone, MeasureDuration,
         tempo(0.4061)},
        {"resampler_downsample", EffectId::Resampler, "DownSample", {}, 0.0, HarmonicTone, MeasureDuration,
         resample(0.7579)},
        {"resampler_upsample", EffectId::Resampler, "UpSample", {}, 0.0, HarmonicTone, MeasureDuration,
         resample(1.3195)},
        // Default 8 Hz and 1 ms: a swing of D 2 pi / P = 5 % of the pitch.
        {"vibrato", EffectId::Vibrato, "", {}, 0.0, PureTone, MeasureVibrato,
         {{"rate", 7.9, 8.1}, {"depthPercent", 4.5, 5.5}}},
        {"vibrato_slow_deep", EffectId::Vibrato, "", {{"VibF", 3.0}, {"Delay", -2.5}}, 0.0, PureTone, MeasureVibrato,
         {{"rate", 2.9, 3.1}, {"depthPercent", 5.4, 6.5}}},
        {"whisper", EffectId::Whisper, "", {}, 0.0, HarmonicTone, MeasureFlatness,
         {{"flatnessIn", 0.0, 0.05}, {"flatnessOut", 0.2, 1.0}}},
    };
}

}  // namespace orve::demo
