#pragma once
// Broadband hiss reducer: a per-bin spectral gain driven by a running floor
// estimate that every frame clips at the level of its top 40 % of bins. No
// learning stretch is needed.
#include <memory>
#include <vector>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"
#include "dsp/spectrum_math.h"

namespace orve {

class DeHiss : public SpectralEffect {
public:
    DeHiss(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;

protected:
    std::unique_ptr<FftEngine> fft;
    SpectrumMath math;
    int32_t binCount;
    double threshold = 0.5;
    // One zeroed allocation of (channels + 1) x 2K doubles: the magnitudes and
    // gains of the channel in hand, then the two persistent per-channel spectra.
    std::vector<double> spectra;
    double* magnitude;
    double* gain;
    double* smoothedMagnitude;
    double* floorEstimate;
};

}  // namespace orve
