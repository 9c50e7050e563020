#include "effects/spatial/de_vocal_mono.h"

#include <algorithm>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"LowF", 500.0, 50.0, 200.0, "Hz",
     "Lowest frequency of the band where the voice is cancelled, in hertz; everything below passes, so "
     "bass and kick drum stay."},
    {"Hi F", 16000.0, 4000.0, 10000.0, "Hz",
     "Highest frequency of the cancelled band, in hertz; everything above passes."},
    {"Pann", 1.0, -1.0, 0.0, "",
     "Where the voice sits between the speakers, from -1 to 1: 0 is the centre, positive values to the "
     "right, negative to the left."},
};

const double kNorm[] = {6.0, 200.0, 10000.0, 0.0};
const double kWideCut[] = {6.0, 50.0, 16000.0, 0.0};
const double kCustom[] = {6.0, 200.0, 10000.0, 0.0};

const EffectPreset kPresets[] = {
    {"Norm", kNorm},
    {"WIDE Cut", kWideCut},
    {"Custom", kCustom},
};

// Band edges are turned into bin numbers with the nominal frame duration, not
// N / fs, so the band sits where it always has at every sample rate's choice of N.
constexpr double kFrameSeconds = 0.03;

}  // namespace

DeVocalMono::DeVocalMono(double sampleRate, int32_t /*streamChannels*/)
    : SpectralEffect(sampleRate, kFrameSeconds, 0.25, 2, 5000, kWindowed),
      fft(std::make_unique<FftEngine>(frameLength, FftKind::Real)),
      binCount(frameLength / 2 + 1),
      work(static_cast<size_t>(frameLength), 0.0),
      bandMask(static_cast<size_t>(frameLength), 0.0),
      passMask(static_cast<size_t>(frameLength), 0.0) {
    BuildMasks();
    ServeTables(kKnobs, kPresets);
}

void DeVocalMono::SetParameters(const double* values) {
    lowHz = values[0];
    highHz = values[1];
    pan = values[2];
    maskDirty = true;
}

void DeVocalMono::BuildMasks() {
    const int32_t N = frameLength;
    // Rebuilt from zero, so a narrower band leaves nothing of the wider one.
    std::vector<double>& m = bandMask;
    std::fill(m.begin(), m.end(), 0.0);
    auto set = [&](int64_t index, double weight) {
        if (index >= 0 && index < N) m[static_cast<size_t>(index)] = weight;
    };
    const int64_t lo = static_cast<int64_t>(lowHz * kFrameSeconds);
    const int64_t hi = static_cast<int64_t>(highHz * kFrameSeconds);
    // Short tapers at both edges soften the band's cut in time (less ringing
    // of the frame edges than a brick wall).
    set(2 * lo - 7, 0.001);
    set(2 * lo - 6, 0.001);
    set(2 * lo - 5, 0.5);
    set(2 * lo - 4, 0.5);
    set(2 * hi - 1, 0.5);
    set(2 * hi, 0.5);
    set(2 * hi + 1, 0.001);
    set(2 * hi + 2, 0.001);
    for (int64_t n = std::max<int64_t>(2 * lo - 3, 0); n <= 2 * hi - 2 && n < N; ++n) m[static_cast<size_t>(n)] = 1.0;
    for (int32_t n = 0; n < N; ++n) {
        passMask[n] = 1.0 - m[n];
        bandMask[n] = m[n] * 0.5;
    }
}

// The effect always works on two channels and ignores the channel mask: the
// band is a property of the pair, not of one side. A mono stream therefore
// reaches it as interleaved pairs of consecutive samples, and a stream of more
// than two channels as consecutive pairs of values (channels 0/1, 2/3, ... for
// an even count; with an odd count the pairs run across frames). Nothing is
// read beyond the frames the spectral engine assembles, whatever the count.
void DeVocalMono::ProcessChannels(int32_t) {
    if (maskDirty) {
        maskDirty = false;
        BuildMasks();
    }
    const int32_t N = frameLength;
    double* L = FramePlane(0);
    double* R = FramePlane(1);
    double* w = work.data();
    const double p = pan;
    for (int32_t n = 0; n < N; ++n) w[n] = (1.0 + p) * L[n] - (1.0 - p) * R[n];
    fft->ForwardReal(L);
    fft->ForwardReal(R);
    fft->ForwardReal(w);
    const double* band = bandMask.data();
    const double* pass = passMask.data();
    for (int32_t n = 0; n < N; ++n) {
        const double d = w[n] * band[n];
        L[n] = pass[n] * L[n] + d;
        R[n] = pass[n] * R[n] - d;
    }
    fft->InverseReal(L);
    fft->InverseReal(R);
}

}  // namespace orve
