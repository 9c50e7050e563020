#pragma once
// Phase-vocoder pitch scaler: the short-time spectrum is stretched along the
// frequency axis by the pitch ratio and resynthesised with running phases, so
// the pitch moves while the duration stays.
#include <memory>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"

namespace orve {

class PitchScaler : public SpectralEffect {
public:
    PitchScaler(double sampleRate, int32_t channels);
    ~PitchScaler() override;

    void SetParameters(const double* values) override;
    double DisplayValue(int32_t knobIndex, double value) override;
    void ProcessChannels(int32_t channelMask) override;

private:
    std::unique_ptr<FftEngine> fft;
    double* storage = nullptr;      // the four arrays below, one allocation
    double* prevPhase = nullptr;    // channels x B: analysis phase of the previous frame
    double* phaseSum = nullptr;     // channels x B: running synthesis phase
    double* shiftIncrement = nullptr;   // B: phase advance of each output bin
    double* shiftMagnitude = nullptr;   // B: magnitude of each output bin
    double ratio = 1.0;             // output frequency / input frequency
    int32_t bins = 0;               // N/2 + 1
};

}  // namespace orve
