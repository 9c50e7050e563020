// The standard programme: something for every effect to work on, in known
// proportions, so that each figure the demo and the tests take means something.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "analysis/signals.h"

namespace orve::analysis {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// Raised-cosine envelope over [start, start + length), 10 ms ramps.
double Envelope(double t, double start, double length) {
    if (t < start || t >= start + length) return 0.0;
    const double ramp = 0.01;
    const double in = t - start, out = start + length - t;
    const double edge = std::min(in, out);
    return edge >= ramp ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * edge / ramp);
}

// A voiced vowel: harmonics of f0 weighted by three formant peaks.
double Vowel(double t, double f0, const double formants[3], double sampleRate) {
    double sum = 0.0;
    for (int h = 1; h * f0 < 0.45 * sampleRate && h * f0 < 5000.0; ++h) {
        double weight = 0.0;
        for (int f = 0; f < 3; ++f) {
            const double d = (h * f0 - formants[f]) / (90.0 + 0.05 * formants[f]);
            weight += std::exp(-d * d) / (1.0 + f);
        }
        sum += weight * std::sin(kTwoPi * h * f0 * t);
    }
    return sum;
}

}  // namespace

Signal StandardProgramme(int32_t sampleRate) {
    const double rate = sampleRate;
    const int64_t frames = static_cast<int64_t>(6.0 * rate);
    Signal s;
    s.sampleRate = sampleRate;
    s.channels = 2;
    s.samples.assign(static_cast<size_t>(frames * 2), 0.0);

    // Deterministic noise: the demo files are the same on every run.
    Lcg hissL(1), hissR(2), sibilance(3);
    double sPrev = 0.0;
    const double vowels[3][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {520, 920, 2560}};
    // Clicks: short spikes, alternately on one channel and on both.
    const double clickTimes[] = {4.3, 4.75, 5.1, 5.55};

    for (int64_t n = 0; n < frames; ++n) {
        const double t = n / rate;
        // Hiss bed at about -50 dBFS and mains hum: 50 Hz with odd and even harmonics.
        double left = 90.0 * hissL.Uniform();
        double right = 90.0 * hissR.Uniform();
        const double hum = 600.0 * std::sin(kTwoPi * 50.0 * t) + 300.0 * std::sin(kTwoPi * 100.0 * t) +
                           200.0 * std::sin(kTwoPi * 150.0 * t) + 100.0 * std::sin(kTwoPi * 250.0 * t);
        left += hum;
        right += hum;

        // 0-2 s: a chord panned apart (440 Hz left, 660 Hz right, 1 kHz centre).
        const double chord = Envelope(t, 0.1, 1.8);
        left += chord * (3000.0 * std::sin(kTwoPi * 440.0 * t) + 1500.0 * std::sin(kTwoPi * 1000.0 * t));
        right += chord * (3000.0 * std::sin(kTwoPi * 660.0 * t) + 1500.0 * std::sin(kTwoPi * 1000.0 * t));

        // 2-4.2 s: speech-like bursts in the centre, syllables of 180 ms with
        // a gliding pitch, and an "s" of high-passed noise after every third.
        if (t >= 2.0 && t < 4.2) {
            const double local = t - 2.0;
            const int syllable = static_cast<int>(local / 0.27);
            const double start = 2.0 + syllable * 0.27;
            const double f0 = 120.0 + 25.0 * std::sin(kTwoPi * 0.7 * local) + 4.0 * syllable;
            const double voice = Envelope(t, start, 0.18) * 900.0 * Vowel(t, f0, vowels[syllable % 3], rate);
            const double white = sibilance.Uniform();
            const double hiss = (white - sPrev) * 0.5;
            sPrev = white;
            const double ess = syllable % 3 == 2 ? Envelope(t, start + 0.18, 0.08) * 2500.0 * hiss : 0.0;
            left += voice + ess;
            right += voice + ess;
        }

        // 4.2-6 s: a steady 1 kHz tone under the clicks.
        const double tone = Envelope(t, 4.2, 1.75) * 2000.0 * std::sin(kTwoPi * 1000.0 * t);
        left += tone;
        right += tone;
        for (int c = 0; c < 4; ++c) {
            const int64_t at = static_cast<int64_t>(clickTimes[c] * rate);
            if (n >= at && n < at + 3) {
                const double spike = (c % 2 ? -9000.0 : 9000.0) * (n == at + 1 ? 1.0 : 0.6);
                left += spike;
                if (c % 2) right += spike;
            }
        }
        s.samples[2 * n] = left;
        s.samples[2 * n + 1] = right;
    }
    return s;
}

}  // namespace orve::analysis
