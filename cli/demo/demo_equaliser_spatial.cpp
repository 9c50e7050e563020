// Demo cases of the graphic equalisers and the modal reverb.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "analysis/measures.h"
#include "demo_cases.h"

namespace orve::demo {
namespace {

// Amplitude of the component at `frequency` in one channel over the frames
// [first, first + count), cut to a whole number of its cycles so that the
// tone's own bin leaks nothing.
double ToneLevel(const Signal& s, int channel, double frequency, int64_t first, int64_t count) {
    const int64_t cycles = std::max<int64_t>(1, static_cast<int64_t>(count * frequency / s.sampleRate));
    count = static_cast<int64_t>(std::llround(cycles * s.sampleRate / frequency));
    return analysis::ToneAmplitude(s, channel, frequency, first, count);
}

// Band gain in dB at a tone, measured on the second half of the input span so
// that filter transients (and any latency) have passed.
double ToneGainDb(const Signal& in, const Signal& out, double frequency) {
    const int64_t frames = std::min(in.Frames(), out.Frames());
    const int64_t first = frames / 2, count = frames / 2 - 1;
    const double a = ToneLevel(in, 0, frequency, first, count);
    const double b = ToneLevel(out, 0, frequency, first, count);
    return 20.0 * std::log10(std::max(b, 1e-12) / std::max(a, 1e-12));
}

// Three steady tones, each at 3000 (about -21 dBFS), two seconds.
Signal ThreeTones(int32_t sampleRate, double f1, double f2, double f3) {
    Signal s;
    s.sampleRate = sampleRate;
    const int64_t frames = 2LL * sampleRate;
    s.samples.resize(static_cast<size_t>(frames * s.channels));
    for (int64_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / sampleRate;
        const double v = 3000.0 * (std::sin(2 * M_PI * f1 * t) + std::sin(2 * M_PI * f2 * t) +
                                   std::sin(2 * M_PI * f3 * t));
        for (int c = 0; c < s.channels; ++c) s.samples[static_cast<size_t>(f * s.channels + c)] = v;
    }
    return s;
}

Signal TonesFor1k(int32_t sampleRate) { return ThreeTones(sampleRate, 250.0, 1000.0, 4000.0); }
Signal TonesForBass(int32_t sampleRate) { return ThreeTones(sampleRate, 62.0, 1000.0, 4000.0); }

// A 5 ms noise burst half a second in, then silence: the room's answer to a
// hand clap. The convolver's start-up latency (under 0.1 s) falls before it.
Signal Clap(int32_t sampleRate) {
    Signal s;
    s.sampleRate = sampleRate;
    const int64_t frames = sampleRate;   // one second; the case adds the tail
    s.samples.assign(static_cast<size_t>(frames * s.channels), 0.0);
    analysis::Lcg noise(12345);
    const int64_t start = sampleRate / 2, length = sampleRate / 200;
    for (int64_t f = start; f < start + length; ++f) {
        const double v = noise.Uniform() * 20000.0;
        for (int c = 0; c < s.channels; ++c) s.samples[static_cast<size_t>(f * s.channels + c)] = v;
    }
    return s;
}

std::string Format(const char* pattern, double a, double b, double c) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

Measurement MeasureBandGains(const Signal& in, const Signal& out, double low) {
    const double gainLow = ToneGainDb(in, out, low), gain1k = ToneGainDb(in, out, 1000.0);
    const double gain4k = ToneGainDb(in, out, 4000.0);
    char text[160];
    std::snprintf(text, sizeof text, "band gain at %g Hz %+.1f dB, 1 kHz %+.1f dB, 4 kHz %+.1f dB", low, gainLow,
                  gain1k, gain4k);
    return {text, {{"gainLow", gainLow}, {"gain1k", gain1k}, {"gain4k", gain4k}}};
}

Measurement MeasureBoost1k(const Signal& in, const Signal& out) { return MeasureBandGains(in, out, 250.0); }
Measurement MeasureBassLift(const Signal& in, const Signal& out) { return MeasureBandGains(in, out, 62.0); }

// Reverberation time from the output's decay: Schroeder's backward-integrated
// energy of both channels, timed between -5 and -25 dB and extrapolated to
// 60 dB (T20 x 3), which keeps the noise floor and the truncated end out.
Measurement MeasureRt60(const Signal&, const Signal& out) {
    const std::vector<double> frameEnergy = analysis::FrameEnergy(out);
    const int64_t frames = out.Frames();
    std::vector<double> energy(static_cast<size_t>(frames) + 1, 0.0);
    for (int64_t f = frames - 1; f >= 0; --f)
        energy[static_cast<size_t>(f)] = energy[static_cast<size_t>(f) + 1] + frameEnergy[static_cast<size_t>(f)];
    if (energy[0] <= 0.0) return {"no output", {}};
    // Start where the burst arrives: the loudest output frame.
    int64_t peak = 0;
    double loudest = -1.0;
    for (int64_t f = 0; f < frames; ++f) {
        const double v = std::abs(out.samples[static_cast<size_t>(f * out.channels)]);
        if (v > loudest) loudest = v, peak = f;
    }
    const double total = energy[static_cast<size_t>(peak)];
    auto timeAt = [&](double db) {
        for (int64_t f = peak; f < frames; ++f)
            if (10.0 * std::log10(energy[static_cast<size_t>(f)] / total) <= db)
                return static_cast<double>(f - peak) / out.sampleRate;
        return -1.0;
    };
    const double t5 = timeAt(-5.0), t25 = timeAt(-25.0);
    if (t5 < 0.0 || t25 < 0.0) return {"decay shorter than 25 dB within the output", {}};
    const double rt60 = 3.0 * (t25 - t5);
    return {Format("RT60 %.2f s (decay -5 dB at %.3f s, -25 dB at %.3f s after the peak)", rt60, t5, t25),
            {{"rt60", rt60}}};
}

}  // namespace

std::vector<DemoCase> EqualiserSpatialDemos() {
    return {
        {"geq31_1k_boost", EffectId::Geq31Bands, "", {{"1k", 12.0}}, 0.0, TonesFor1k, MeasureBoost1k,
         {{"gain1k", 11.9, 12.1}, {"gainLow", -0.3, 0.3}, {"gain4k", -0.3, 0.3}}},
        {"geq10_bass_lift", EffectId::Geq10Bands, "Bass Lift", {}, 0.0, TonesForBass, MeasureBassLift,
         {{"gainLow", 3.5, 4.3}, {"gain1k", -2.7, -1.9}, {"gain4k", -3.4, -2.6}}},
        // The tail is drawn afresh for every build, so the times vary a little.
        {"modal_reverb", EffectId::ModalReverb, "", {}, 1.5, Clap, MeasureRt60, {{"rt60", 0.6, 0.8}}},
        {"modal_reverb_large_hall", EffectId::ModalReverb, "Large Hall", {}, 3.0, Clap, MeasureRt60,
         {{"rt60", 1.8, 2.25}}},
    };
}

}  // namespace orve::demo
