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
    ~DeNoise() override;

    int32_t ProcessBlock(const double* in, double* out, int32_t inCount, int32_t outCapacity,
                         int32_t channelMask) override;
    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;
    // A new frame length ("Window") is built as work: the transform and every
    // array are made off the audio thread and swapped in at a block boundary.
    std::unique_ptr<EffectWork> TakeWork() override;
    std::unique_ptr<EffectWork> FinishWork(std::unique_ptr<EffectWork> work) override;

    // Starts a new learning stretch at the next frame.
    void SnapNoise();

protected:
    // First and last frame (by frame counter) averaged into the profile.
    int32_t FirstLearnFrame() const;
    int32_t LearnEndFrame() const;
    // Builds the transform and the spectra for the current frame length and
    // enters learning.
    void SetUpSpectra();

    class Reframe;
    struct Spectra;
    // Takes the transform and spectra of `s` (made for the frame length in
    // force) and enters learning; `s` keeps the old ones.
    void SwapSpectra(Spectra& s);

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
    // Frame duration the knobs last asked for; re-framing is built when it
    // differs from the one last built.
    double requestedFrameSeconds;
    bool snapRequested = false;
    std::unique_ptr<Reframe> reframe;   // null while lent out
    const EffectWork* lent = nullptr;
    double builtSeconds;
    bool reframeReady = false;
    bool leftOvers = false;
};

}  // namespace orve
