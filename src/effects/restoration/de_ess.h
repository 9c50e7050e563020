#pragma once
// Sibilance tamer: per frame, the share of spectral power in the upper band
// (weighted by a fixed sigmoid over frequency) is measured, and when it exceeds
// 0.65 the upper band is attenuated in proportion to the excess.
#include <memory>
#include <vector>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"

namespace orve {

// Rising sigmoid over `count` bins, 0 at bin 0 and 1 - 2 margin at the last:
// centred at `centre` (a fraction of the half sample rate, less half a bin),
// with steepness 1 / (1 - sharpness)^3. `scale` multiplies the curve.
std::vector<double> RisingSigmoid(int32_t count, double scale, double centre, double sharpness, double margin);

class DeEss : public SpectralEffect {
public:
    DeEss(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;

private:
    std::unique_ptr<FftEngine> fft;
    int32_t binCount;   // K = N/2 + 1
    // The frame is transformed in this scratch rather than in place, so a frame
    // that needs no attenuation (most of them) keeps its samples as they were
    // and costs no inverse transform.
    std::vector<double> spectrum;
    double ratio = 0.5;   // read once per frame
    std::vector<double> sibilanceCurve;
};

}  // namespace orve
