#include "effects/restoration/de_ess.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Ratio", 0.99, 1e-20, 0.5, "",
     "Strength of de-essing: larger values cut harder, so 0.99 at the top takes a strong 's' down by "
     "about 33 dB, the default 0.5 by about 9 dB and values near 0 hardly at all (the opposite of a "
     "compressor's ratio)."},
};

constexpr double kShareThreshold = 0.65;
constexpr double kCurveMargin = 0.0001;

}  // namespace

std::vector<double> RisingSigmoid(int32_t count, double scale, double centre, double sharpness, double margin) {
    std::vector<double> s(static_cast<size_t>(count));
    const double g = 1.0 / std::pow(1.0 - sharpness, 3.0);
    for (int32_t i = 0; i < count; ++i) {
        const double u = (i + 0.5) / count - centre;
        s[i] = std::atan(g * u) / M_PI + 0.5;
    }
    if (count < 2) return s;
    // Stretch so the ends sit exactly at margin and 1 - margin: the curve then
    // spans the whole weighting range whatever the sample rate puts at its ends.
    const double first = s[0], last = s[count - 1];
    const double z = ((1.0 - margin) * first - margin * last) / (1.0 - 2.0 * margin);
    const double v = margin / (first - z);
    for (double& value : s) value = (value - z) * v * scale;
    return s;
}

DeEss::DeEss(double sampleRate, int32_t channels)
    : SpectralEffect(sampleRate, 0.05, 0.125, channels, 5000, kWindowed),
      fft(std::make_unique<FftEngine>(frameLength, FftKind::Real)),
      binCount(frameLength / 2 + 1),
      spectrum(static_cast<size_t>(frameLength)) {
    // Centred near 3000 Hz: (i + 0.5) / K is a fraction of the half sample rate.
    sibilanceCurve = RisingSigmoid(binCount, 1.0, 6000.0 / sampleRate, 0.8, kCurveMargin);
    // Lowered so that bin 0 weighs exactly nothing and the top bin 0.9998.
    for (double& w : sibilanceCurve) w -= kCurveMargin;
    ServeTables(kKnobs);
}

void DeEss::SetParameters(const double* values) {
    // The clamp keeps ln(ratio) finite and negative, so the attenuation
    // fraction below stays within (0, 1); a value that is not a number falls
    // to the weak end with the values of 0 and below.
    const double value = values[0];
    ratio = value > 0.99 ? 0.99 : (value > 0.0 ? value : 1e-20);
}

// Note on the knob's direction: the name "Ratio" suggests a compressor, where
// a smaller ratio would reduce more, but the attenuation fraction used here,
// f = e / (e - 0.25 ln ratio) with e the excess share, does the opposite and is
// kept as it is: the term -0.25 ln ratio is 0.0025 at 0.99, 0.173 at 0.5 and
// 11.5 at 1e-20, so f is largest for a ratio near 0.99 (the band almost
// removed once the share is well past the threshold) and smallest near 1e-20
// (a few percent). The knob starts at 0.99, so turning it up de-esses less;
// stored settings and the default of 0.5 keep the strength users know.
void DeEss::ProcessChannels(int32_t channelMask) {
    const int32_t N = frameLength, K = binCount;
    double* X = spectrum.data();
    const double* curve = sibilanceCurve.data();
    const double strength = -0.25 * std::log(ratio);
    for (int32_t c = 0; c < channels; ++c) {
        if (!ChannelEnabled(channelMask, c)) continue;
        double* plane = FramePlane(c);
        std::memcpy(X, plane, sizeof(double) * N);
        fft->ForwardReal(X);

        // DC (element 0) and the Nyquist bin (element N - 1) are neither
        // measured nor changed: bin k sits at elements 2k - 1 and 2k.
        double total = 0.0, weighted = 0.0;
        for (int32_t k = 1; k <= K - 2; ++k) {
            const double re = X[2 * k - 1], im = X[2 * k];
            const double power = re * re + im * im;
            total += power;
            weighted += power * curve[k];
        }
        const double share = total > 0.0 ? weighted / total : 0.0;
        if (!(share > kShareThreshold)) continue;   // frame kept exactly as it was

        const double excess = share - kShareThreshold;
        const double f = excess / (excess + strength);
        // Scaling both parts of a bin by one real gain changes its magnitude
        // and keeps its phase: the polar round trip is not needed.
        for (int32_t k = 1; k <= K - 2; ++k) {
            const double gain = 1.0 - f * curve[k];
            X[2 * k - 1] *= gain;
            X[2 * k] *= gain;
        }
        fft->InverseReal(X);
        std::memcpy(plane, X, sizeof(double) * N);
    }
}

}  // namespace orve
