#pragma once
// Downward compressor with a look-ahead RMS detector, per channel, in the time
// domain. The spectral engine only supplies the framing: frames are raw
// samples, the first hop of each frame is processed and output, and the tail
// serves as look-ahead for the detector window.
#include <vector>

#include "dsp/spectral_effect.h"
#include "dsp/spectrum_math.h"

namespace orve {

class LevelDynamic : public SpectralEffect {
public:
    LevelDynamic(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    int32_t PresetCount() override;
    void ProcessChannels(int32_t channelMask) override;

    static constexpr int kStateChannels = 2;

protected:
    double rmsWindowSeconds = 0.001;
    double attackSeconds = 0.0005;
    double releaseSeconds = 0.3;
    double thresholdDb = -10.0;
    double ratio = 2.0;
    double envelope[kStateChannels] = {0.0, 0.0};   // detector level, 1.0 = 16-bit full scale
    double windowSum[kStateChannels] = {0.0, 0.0};
    SpectrumMath math;

private:
    // Per hop: the samples whose level is above the threshold, with their
    // T / e, so that the gains' powers are taken in one batch.
    std::vector<int32_t> loud;
    std::vector<double> base;
    std::vector<double> power;
};

}  // namespace orve
