#include "effects/restoration/de_hiss.h"

#include <algorithm>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Thresh", 1.0, 0.0, 0.5, "",
     "Strength of the hiss reduction from 0 to 1; higher values remove more hiss and, near the top, "
     "some quiet high detail with it."},
};

// The smoother's weights as the filter was tuned: 0.3 is the double that
// 0.1 + 0.2 rounds to, kept exactly so that the floor's clipping against H
// (equal values take H) and the first-frame seed come out bit for bit.
constexpr double kNewWeight = 0.30000000000000004;
constexpr double kOldWeight = 0.7;

}  // namespace

DeHiss::DeHiss(double sampleRate, int32_t channels)
    : SpectralEffect(sampleRate, 0.05, 0.25, channels, 5000, kWindowed),
      fft(std::make_unique<FftEngine>(frameLength, FftKind::Real)),
      binCount(frameLength / 2 + 1),
      spectra(static_cast<size_t>(channels + 1) * 2 * binCount, 0.0) {
    magnitude = spectra.data();
    gain = magnitude + binCount;
    smoothedMagnitude = gain + binCount;
    floorEstimate = smoothedMagnitude + static_cast<size_t>(channels) * binCount;
    ServeTables(kKnobs);
}

void DeHiss::SetParameters(const double* values) { threshold = values[0]; }

void DeHiss::ProcessChannels(int32_t channelMask) {
    const int32_t K = binCount, N = frameLength;
    const double T = threshold;
    const double e = T + 1.0;
    const int32_t k0 = static_cast<int32_t>(K * 0.6);

    for (int32_t c = 0; c < channels; ++c) {
        if (!ChannelEnabled(channelMask, c)) continue;
        double* X = FramePlane(c);
        double* smooth = smoothedMagnitude + static_cast<size_t>(c) * K;
        double* floor = floorEstimate + static_cast<size_t>(c) * K;
        fft->ForwardReal(X);
        math.Magnitudes(X, N, magnitude);

        // Hiss level from the top 40 % of the band, where programme material
        // is sparse and broadband hiss dominates.
        double top = 0.0;
        for (int32_t k = k0; k < K; ++k) top += magnitude[k];
        const double H = T * 0.6000000000000001 / (K - k0 + 1) * top;

        if (frameCounter >= 1) {
            for (int32_t k = 0; k < K; ++k) {
                smooth[k] = kOldWeight * smooth[k] + kNewWeight * magnitude[k];
                floor[k] = kOldWeight * floor[k] + std::min(kNewWeight * magnitude[k], H);
            }
        } else {
            // Seed with the first frame. The clip sits at N / hop times the
            // floor the recursion settles at for a steady hiss of level H
            // (H / 0.3), so a loud first frame cannot seed a floor that would
            // take many frames to forget.
            const double L = H * N / (kNewWeight * hop);
            for (int32_t k = 0; k < K; ++k) {
                smooth[k] = magnitude[k];
                floor[k] = magnitude[k] > L ? L : magnitude[k];
            }
        }

        // The gain is real, so it scales each bin's re and im alike: the same
        // result as scaling the magnitude and rebuilding from the phase,
        // without the angle. A bin with no level (d = 0) takes ratio 1, whose
        // gain 0.99 + 0.01 rounds to exactly 1.
        for (int32_t k = 0; k < K; ++k) {
            const double d = 30.0 * e * floor[k] + smooth[k];
            gain[k] = d > 0.0 ? smooth[k] / d : 1.0;
        }
        math.Pow(gain, e, K, gain);
        for (int32_t k = 0; k < K; ++k) gain[k] = 0.99 * gain[k] + 0.01;
        math.ScaleBins(gain, N, X);
        fft->InverseReal(X);
    }
}

}  // namespace orve
