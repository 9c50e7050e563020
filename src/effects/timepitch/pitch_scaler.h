#pragma once
// Phase-vocoder pitch scaler: every spectral peak of a frame is moved, with
// the bins around it, to its frequency times the pitch ratio, and the moved
// bins keep the phase relations the analysis found (phase locking); each
// peak's phase runs on at its new frequency from frame to frame. The pitch
// moves while the duration and the level stay.
#include <memory>
#include <vector>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"
#include "dsp/spectrum_math.h"

namespace orve {

class PitchScaler : public SpectralEffect {
public:
    PitchScaler(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    double DisplayValue(int32_t knobIndex, double value) override;
    void ProcessChannels(int32_t channelMask) override;

protected:
    std::unique_ptr<FftEngine> fft;
    SpectrumMath math;

private:
    void ShiftChannel(double* x, int32_t c, double r);

    std::vector<double> previous;   // channels x N: last frame's packed spectrum
    std::vector<double> rotation;   // channels x B: phase rotation per input bin
    std::vector<double> input;      // N: this frame's packed spectrum
    std::vector<double> magnitude;  // B + 3: bins -1 .. B + 1
    std::vector<int32_t> peaks;     // B: peak bins of the frame, ascending
    // Per peak (B each): the last bin of its region, the cross and dot
    // products with the last frame's bin (then the measured phase advance, and
    // the region's turn), the shift in bins, the turn's sine and cosine.
    std::vector<int32_t> regionEnd, shifts;
    std::vector<double> cross, dot, sine, cosine;
    double ratio = 1.0;             // output frequency / input frequency
    int32_t bins = 0;               // N/2 + 1
};

}  // namespace orve
