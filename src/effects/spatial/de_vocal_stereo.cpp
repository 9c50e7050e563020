#include "effects/spatial/de_vocal_stereo.h"

#include <algorithm>
#include <cmath>

namespace orve {
namespace {

const double kDeVocalNorm[] = {6.0, 0.0, -1.0, 150.0, 16000.0};
const double kDeVocalWide[] = {6.0, 0.0, -1.0, 50.0, 20000.0};
const double kVocalBoost[] = {-6.0, 0.0, 1.5, 100.0, 16000.0};
const double kCustom[] = {6.0, 0.0, -1.0, 150.0, 16000.0};

const EffectPreset kPresets[] = {
    {"DeVocalNorm", kDeVocalNorm},
    {"DeVocalWide", kDeVocalWide},
    {"Vocal Boost", kVocalBoost},
    {"Custom", kCustom},
};

constexpr double kGuard = 1e-15;

}  // namespace

DeVocalStereo::DeVocalStereo(double sampleRate, int32_t /*streamChannels*/)
    : SpectralEffect(sampleRate, 0.2, 0.5, 2, 5000, kWindowed),
      fft(std::make_unique<FftEngine>(frameLength, FftKind::Real)),
      binCount(frameLength / 2 + 1),
      // "Hi F" starts 100 Hz below half the sample rate, whatever the rate.
      knobs{
          {"Pann", 0.99, -0.99, 0.0, "",
           "Where the voice sits between the speakers, from -0.99 to 0.99: 0 is the centre, positive values "
           "to the left, negative to the right."},
          {"Vocal", 3.0, -1.0, -1.0, "",
           "What happens to the voice: -1 removes it, 0 leaves it, positive values bring it forward (3 makes "
           "it four times as loud)."},
          {"LowF", 400.0, 50.0, 150.0, "Hz",
           "Lowest frequency of the band where the voice is treated, in hertz; everything below passes."},
          {"Hi F", sampleRate * 0.5 - 100.0, 8000.0, 16000.0, "Hz",
           "Highest frequency of the treated band, in hertz; everything above passes."},
      } {
    ServeTables(knobs, kPresets);
}

void DeVocalStereo::SetParameters(const double* values) {
    // Held inside the knob's range so that 1 - pan and 1 + pan, which divide
    // the estimate back out of each channel, stay positive.
    pan = std::max(-0.99, std::min(0.99, values[0]));
    vocal = values[1];
    lowHz = values[2];
    highHz = values[3];
}

// Two channels always, channel mask ignored: the common component is a
// property of the pair. A mono stream arrives as interleaved pairs of
// consecutive samples; more than two channels as consecutive pairs of values
// (0/1, 2/3, ... for an even count, pairs across frames for an odd count).
void DeVocalStereo::ProcessChannels(int32_t) {
    const int32_t N = frameLength;
    double* L = FramePlane(0);
    double* R = FramePlane(1);
    fft->ForwardReal(L);
    fft->ForwardReal(R);

    const double p = pan;
    const double a = 1.0 - p, b = 1.0 + p, v = vocal;
    const double fs = sampleRate;
    // Bin 0 has no imaginary part, so the band starts at bin 1 at the lowest;
    // starting from a bin number (not a packed index) keeps real and imaginary
    // parts of one bin together whatever the fraction of N lowHz / fs.
    const int64_t k0 = std::max<int64_t>(1, static_cast<int64_t>(N * lowHz / fs));
    const int64_t jEnd = static_cast<int64_t>(2.0 * N * highHz / fs - 1.0);
    const int64_t kLast = N / 2 - 1;   // the band is cut below the Nyquist bin
    for (int64_t k = k0; 2 * k - 1 < jEnd && k <= kLast; ++k) {
        double& lr = L[2 * k - 1];
        double& li = L[2 * k];
        double& rr = R[2 * k - 1];
        double& ri = R[2 * k];
        const double Ar = a * lr, Ai = a * li, Br = b * rr, Bi = b * ri;
        const double P = Ar * Br + Ai * Bi;
        const double c1 = P / (Ar * Ar + Ai * Ai + kGuard);
        const double c2 = P / (Br * Br + Bi * Bi + kGuard);
        const double Vr = c1 * Ar + c2 * Br, Vi = c1 * Ai + c2 * Bi;
        const double q = Vr * Vr + Vi * Vi;
        const double s = -((Ar + Br) * Vr + (Ai + Bi) * Vi);
        const double disc = s * s - 4.0 * q * P;
        // S = t V is the part along V whose removal leaves A - S and B - S
        // orthogonal; the smaller root is the shared (centre) component.
        if (!(disc > 0.0 && q > kGuard)) continue;
        const double t = (-s - std::sqrt(disc)) / (2.0 * q);
        const double Sr = t * Vr, Si = t * Vi;
        lr += v * Sr / a;
        li += v * Si / a;
        rr += v * Sr / b;
        ri += v * Si / b;
    }
    fft->InverseReal(L);
    fft->InverseReal(R);
}

}  // namespace orve
