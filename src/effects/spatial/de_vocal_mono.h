#pragma once
// Vocal remover for stereo material: inside a frequency band both channels are
// replaced by their pan-weighted difference, so whatever is common to both
// cancels; the band comes out as one signal in opposite phase on the two
// channels, the rest passes unchanged.
#include <memory>
#include <vector>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"

namespace orve {

class DeVocalMono : public SpectralEffect {
public:
    // Always two channels, whatever the stream carries (see ProcessChannels):
    // the stream's channel count is taken like every effect's and not used.
    DeVocalMono(double sampleRate, int32_t streamChannels);

    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;

private:
    void BuildMasks();

    double lowHz = 200.0;
    // Starts above the knob's default (10000 Hz): a fresh effect runs with the
    // wider band until the window passes its knob values.
    double highHz = 12000.0;
    double pan = 0.0;
    std::unique_ptr<FftEngine> fft;
    int32_t binCount;
    std::vector<double> work;       // difference signal, then its spectrum
    std::vector<double> bandMask;   // half the band weight m per packed index
    std::vector<double> passMask;   // 1 - m
    // Raised by SetParameters; the masks are rebuilt before the next frame.
    bool maskDirty = false;
};

}  // namespace orve
