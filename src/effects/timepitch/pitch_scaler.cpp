#include "effects/timepitch/pitch_scaler.h"

#include <algorithm>
#include <cmath>

namespace orve {
namespace {

// The knob holds log3 of the ratio: one knob span covers a twelfth up or down.
const KnobSpec kKnobs[] = {
    {"Pitch", 1.0, -1.0, 0.0, "\xC3\x97",
     "Pitch factor with the duration kept: 2 is an octave up, 0.5 an octave down, 1 leaves the pitch "
     "(3 and 1/3 at the ends)."},
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
// x rounded to the nearest integer, ties to even (std::nearbyint in the
// default rounding mode, without the library call), for |x| < 2^51: adding
// 1.5 * 2^52 leaves no bits below the units.
inline double Nearest(double x) {
    constexpr double kMagic = 6755399441055744.0;
    return (x + kMagic) - kMagic;
}

// Wraps a phase into [-pi, pi].
inline double Wrapped(double phase) { return phase - 2.0 * M_PI * Nearest(phase * (0.5 / M_PI)); }

// std::lround (halves away from zero) for |x| < 2^31.
inline int32_t RoundedHalfAway(double x) {
    const double whole = std::trunc(x);
    const double rest = x - whole;
    return static_cast<int32_t>(whole) + (rest >= 0.5 ? 1 : (rest <= -0.5 ? -1 : 0));
}

}  // namespace

PitchScaler::PitchScaler(double sampleRate, int32_t channels)
    : SpectralEffect(sampleRate, 0.05, 0.125, channels, 5000, kWindowed),
      fft(std::make_unique<FftEngine>(frameLength, FftKind::Real)),
      previous(static_cast<size_t>(channels) * frameLength, 0.0),
      rotation(static_cast<size_t>(channels) * (frameLength / 2 + 1), 0.0),
      input(frameLength, 0.0),
      magnitude(frameLength / 2 + 4, 0.0),
      peaks(frameLength / 2 + 1, 0),
      regionEnd(frameLength / 2 + 1, 0),
      shifts(frameLength / 2 + 1, 0),
      cross(frameLength / 2 + 1, 0.0),
      dot(frameLength / 2 + 1, 0.0),
      sine(frameLength / 2 + 1, 0.0),
      cosine(frameLength / 2 + 1, 0.0),
      bins(frameLength / 2 + 1) {
    ServeTables(kKnobs, kPresets);
}

void PitchScaler::SetParameters(const double* values) {
    // Held to the knob's range, which keeps the source positions k / ratio of
    // the shift step within a few frame lengths.
    ratio = std::pow(3.0, std::clamp(values[0], kKnobs[0].endValue, kKnobs[0].startValue));
}

double PitchScaler::DisplayValue(int32_t knobIndex, double value) {
    return knobIndex == 0 ? std::pow(3.0, value) : value;
}

void PitchScaler::ProcessChannels(int32_t channelMask) {
    // One ratio for the whole frame, so a knob move never splits a spectrum.
    const double r = ratio;
    for (int32_t c = 0; c < channels; ++c) {
        if (!ChannelEnabled(channelMask, c)) continue;
        double* x = FramePlane(c);
        fft->ForwardReal(x);
        ShiftChannel(x, c, r);
        fft->InverseReal(x);
    }
}

// Peak-region shifting with phase locking. Stretching the spectrum bin by bin
// (magnitudes interpolated, one running phase per bin) widens or narrows each
// partial's window lobe by the ratio and loses the phase relations inside it:
// the level changes with the ratio (-7.5 dB at x1/3, +2 dB at x3) and each
// frame's partial no longer has the window's shape, which overlap-add turns
// into sidebands at the frame rate (22 dB under the partials at x3). Here each
// peak's region (the bins down to the lowest ones between it and its
// neighbours) moves by a whole number of bins, keeping its lobe, so level and
// shape stay; the region turns by one common phase that makes the peak run at
// its measured frequency times the ratio from frame to frame (referred to the
// frame's centre, so a change of shift as a pitch glides makes no jump).
void PitchScaler::ShiftChannel(double* x, int32_t c, double r) {
    const int32_t N = frameLength, M = N / 2;
    const double omega = 2.0 * M_PI * hop / N;   // phase advance per hop of a bin-1 sinusoid
    const double perOmega = 1.0 / omega;
    // A shift of s bins turns the frame's centre by s pi (N - 1) / N.
    const double piPerShift = M_PI * (N - 1.0) / N;
    double* before = previous.data() + static_cast<size_t>(c) * N;
    double* turn = rotation.data() + static_cast<size_t>(c) * bins;

    // Bins 1..M-1 hold (re, im) at x[2k-1], x[2k]; DC (x[0]) and Nyquist
    // (x[N-1]) have no phase to move and pass as analysed.
    std::copy(x, x + N, input.begin());
    std::fill(x + 1, x + N - 1, 0.0);

    // Peaks: larger than both neighbours on each side, collected without a
    // branch per bin. Two silent bins pad each end (DC and Nyquist count as
    // silent).
    double* mag = magnitude.data() + 1;
    math.Magnitudes(input.data(), N, mag);
    mag[-1] = mag[0] = mag[M] = mag[M + 1] = 0.0;
    int32_t count = 0;
    for (int32_t k = 1; k < M; ++k) {
        const double m = mag[k];
        peaks[count] = k;
        count += (m > mag[k - 1]) & (m > mag[k - 2]) & (m >= mag[k + 1]) & (m >= mag[k + 2]);
    }
    if (count == 0) {
        std::copy(input.begin(), input.end(), before);
        return;
    }

    // Each region ends at the lowest bin before the next peak (inclusive);
    // the last one at M-1. The phase measurements of all peaks go through the
    // vector maths at once.
    for (int32_t p = 0; p < count; ++p) {
        const int32_t peak = peaks[p];
        int32_t high = M - 1;
        if (p + 1 < count) {
            high = peak;
            double lowest = mag[peak];
            for (int32_t k = peak + 1; k < peaks[p + 1]; ++k) {
                const bool lower = mag[k] < lowest;
                lowest = lower ? mag[k] : lowest;
                high = lower ? k : high;
            }
        }
        regionEnd[p] = high;
        const double re = input[2 * peak - 1], im = input[2 * peak];
        const double pre = before[2 * peak - 1], pim = before[2 * peak];
        cross[p] = im * pre - re * pim;
        dot[p] = re * pre + im * pim;
    }
    math.Atan2(cross.data(), dot.data(), count, cross.data());

    for (int32_t p = 0; p < count; ++p) {
        const int32_t peak = peaks[p];
        // The peak's true phase advance over one hop: the bin's own advance
        // plus the wrapped deviation of the measured one (a first frame has
        // none: the bin centre).
        const double pre = before[2 * peak - 1], pim = before[2 * peak];
        double advance = peak * omega;
        if (pre != 0.0 || pim != 0.0) advance += Wrapped(cross[p] - peak * omega);
        const int32_t shift = RoundedHalfAway((r - 1.0) * advance * perOmega);
        const double theta = Wrapped(turn[peak] + (r - 1.0) * advance);
        shifts[p] = shift;
        dot[p] = theta;
        cross[p] = theta - shift * piPerShift;
    }
    math.SinCos(cross.data(), count, sine.data(), cosine.data());

    int32_t low = 1;
    for (int32_t p = 0; p < count; ++p) {
        const int32_t high = regionEnd[p], shift = shifts[p];
        const double theta = dot[p], cosPhi = cosine[p], sinPhi = sine[p];
        std::fill(turn + low, turn + high + 1, theta);
        // Bins whose destination falls outside 1..M-1 are dropped.
        const int32_t first = std::max(low, 1 - shift), last = std::min(high, M - 1 - shift);
        for (int32_t k = first; k <= last; ++k) {
            const int32_t to = k + shift;
            const double a = input[2 * k - 1], b = input[2 * k];
            x[2 * to - 1] += a * cosPhi - b * sinPhi;
            x[2 * to] += a * sinPhi + b * cosPhi;
        }
        low = high + 1;
    }
    std::copy(input.begin(), input.end(), before);
}

}  // namespace orve
