#pragma once
// Steady-noise remover: learns a mean noise power spectrum from a stretch of
// the incoming audio (muting the output meanwhile), then applies a
// decision-directed Wiener-type gain to every bin of every frame.
#include <atomic>
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
    int32_t DescribeKnobs(KnobSpec* table) override;
    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;
    // A new frame length ("Window") is built as work: the transform and every
    // array are made off the audio thread and swapped in at a block boundary.
    std::unique_ptr<EffectWork> TakeWork() override;
    std::unique_ptr<EffectWork> FinishWork(std::unique_ptr<EffectWork> work) override;

    // Starts a new learning stretch. Safe from the window's thread without the
    // processing lock: it only raises a flag that the next frame acts on.
    void SnapNoise();

    bool ProfileReady() const { return profileReady; }
    int32_t LearnedFrames() const { return learnedFrames; }
    // Learned mean power of bin k of channel c (|X[k]|^2 of the windowed frame).
    double NoisePower(int32_t c, int32_t k) const { return noisePower[c * binCount + k]; }
    int32_t BinCount() const { return binCount; }
    // First and last frame (by frame counter) averaged into the profile.
    int32_t FirstLearnFrame() const;
    int32_t LearnEndFrame() const;

protected:
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
    // Frame duration the window last asked for; re-framing is built when it
    // differs from the one last built or in force.
    std::atomic<double> requestedFrameSeconds;
    std::atomic<bool> snapRequested{false};
    std::unique_ptr<Reframe> reframe;   // null while lent out
    const EffectWork* lent = nullptr;
    double builtSeconds;
    bool reframeReady = false;
    bool leftOvers = false;
};

}  // namespace orve
