#include "effects/timepitch/pitch_scaler.h"

#include <algorithm>
#include <cmath>

namespace orve {
namespace {

// The knob holds log3 of the ratio: one knob span covers a twelfth up or down.
const KnobSpec kKnobs[] = {
    {"Pitch", 1.0, -1.0, 0.0},
};

const double kOriginal[] = {0.0, 0.0};
const double kChild[] = {0.0, 0.4};
const double kBassTone[] = {3.0, -0.4};
const double kCustom[] = {0.0, 0.0};
const EffectPreset kPresets[] = {
    {"Original", kOriginal},
    {"Child", kChild},
    {"BassTone", kBassTone},
    {"Custom", kCustom},
};
constexpr double kInversePi = 0.3183098861837907;

}  // namespace

PitchScaler::PitchScaler(double sampleRate, int32_t channels)
    : SpectralEffect(sampleRate, 0.05, 0.125, channels, 5000, kWindowed) {
    fft = std::make_unique<FftEngine>(frameLength, FftKind::Real);
    bins = frameLength / 2 + 1;
    const int32_t B = bins;
    storage = new double[2 * (channels + 1) * B]();
    prevPhase = storage;
    phaseSum = prevPhase + channels * B;
    shiftIncrement = phaseSum + channels * B;
    shiftMagnitude = shiftIncrement + B;
    ServeTables(kKnobs, kPresets);
}

PitchScaler::~PitchScaler() { delete[] storage; }

void PitchScaler::SetParameters(const double* values) {
    // Held to the knob's range, which keeps the source positions k / ratio of
    // the shift step within a few frame lengths.
    ratio = std::pow(3.0, std::clamp(values[0], kKnobs[0].endValue, kKnobs[0].startValue));
}

double PitchScaler::DisplayValue(int32_t knobIndex, double value) {
    return knobIndex == 0 ? std::pow(3.0, value) : value;
}

void PitchScaler::ProcessChannels(int32_t channelMask) {
    const int32_t N = frameLength, M = N / 2, B = bins;
    const double omega = 2.0 * M_PI * hop / N;   // phase advance per hop of a bin-1 sinusoid
    // One ratio for the whole frame, so a knob move never splits a spectrum.
    const double r = ratio;

    for (int32_t c = 0; c < channels; ++c) {
        if (!ChannelEnabled(channelMask, c)) continue;
        double* x = FramePlane(c);
        double* prev = prevPhase + c * B;
        double* sum = phaseSum + c * B;

        fft->ForwardReal(x);

        // Analysis: replace each bin by (magnitude, true phase advance over one hop).
        double e = 0.0;
        for (int32_t k = 1; k < M; ++k) {
            e += omega;
            const double a = x[2 * k - 1], b = x[2 * k];
            const double m = std::sqrt(a * a + b * b);
            const double phi = (a == 0.0 && b == 0.0) ? 0.0 : std::atan2(b, a);
            double delta = phi - prev[k] - e;
            prev[k] = phi;
            int64_t q = static_cast<int64_t>(delta * kInversePi);
            if (q & 1) q += q >= 0 ? 1 : -1;
            delta -= static_cast<double>(q) * M_PI;
            x[2 * k - 1] = m;
            x[2 * k] = e + delta;
        }

        // Bins 0 and M carry no measured pair (their packed slots hold the raw
        // DC and Nyquist values, which pass through on their own). As shift
        // sources they count as silent - folding DC or Nyquist energy into the
        // audible bins would add a rumble or a whistle - but with the phase
        // advance k*omega of their own index, so a bin interpolated towards
        // them keeps the advance of its true frequency instead of being pulled
        // towards zero.
        const double topAdvance = M * omega;
        auto mag = [&](int32_t j) { return (j <= 0 || j >= M) ? 0.0 : x[2 * j - 1]; };
        auto adv = [&](int32_t j) { return j <= 0 ? 0.0 : (j >= M ? topAdvance : x[2 * j]); };

        std::fill(shiftIncrement, shiftIncrement + B, 0.0);
        std::fill(shiftMagnitude, shiftMagnitude + B, 0.0);
        for (int32_t k = 1; k < M; ++k) {
            const double s = k / r;
            const int32_t i = static_cast<int32_t>(s);
            const double f = s - i;
            if (i + 1 < B) {
                shiftMagnitude[k] = (1.0 - f) * mag(i) + f * mag(i + 1);
                shiftIncrement[k] = ((1.0 - f) * adv(i) + f * adv(i + 1)) * r;
            } else if (i >= B) {
                break;
            } else {
                // The source reaches the Nyquist bin: taper the top edge so
                // the band limit does not end in a hard step.
                shiftMagnitude[k] = 0.1 * mag(M);
                shiftIncrement[k] = adv(M) * r;
                shiftMagnitude[k - 1] *= 0.5;
                if (k >= 2) shiftMagnitude[k - 2] *= 0.9;
            }
        }

        // Synthesis with running phases; DC (x[0]) and Nyquist (x[N-1]) stay as analysed.
        for (int32_t k = 1; k < M; ++k) {
            sum[k] += shiftIncrement[k];
            x[2 * k - 1] = shiftMagnitude[k] * std::cos(sum[k]);
            x[2 * k] = shiftMagnitude[k] * std::sin(sum[k]);
        }

        fft->InverseReal(x);
    }
}

}  // namespace orve
