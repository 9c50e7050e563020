#pragma once
// Steady-noise remover: learns a mean noise power spectrum from a stretch of
// the incoming audio (muting the output meanwhile), then applies a
// decision-directed Wiener-type gain to every bin of every frame.
#include <memory>
#include <vector>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"
#include "dsp/spectrum_math.h"

namespace orve {

class DeNoise : public SpectralEffect {
public:
    DeNoise(double sampleRate, int32_t channels);

    int32_t ProcessBlock(const double* in, double* out, int32_t inCount, int32_t outCapacity,
                         int32_t channelMask) override;
    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;

    // Starts a new learning stretch at the next frame.
    void SnapNoise();

protected:
    // First and last frame (by frame counter) averaged into the profile.
    int32_t FirstLearnFrame() const;
    int32_t LearnEndFrame() const;
    // Builds the transform and the spectra for the current frame length and
    // enters learning.
    void SetUpSpectra();

    std::unique_ptr<FftEngine> fft;
    SpectrumMath math;
    int32_t binCount = 0;
    double threshold = 0.5;
    // Seven spectra of binCount values per channel, channel c at c * binCount.
    std::vector<double> noisePower, magnitude, smoothedMagnitude;
    std::vector<double> gain, prevPostSnr, postSnr, priorSnr;
    int32_t learnedFrames = 0;
    double noiseSeconds = 0.2;
    bool profileReady = false;

private:
    // Frame duration the knobs last asked for; the next block re-frames when
    // it differs from the one in force.
    double requestedFrameSeconds;
    bool snapRequested = false;
};

}  // namespace orve
