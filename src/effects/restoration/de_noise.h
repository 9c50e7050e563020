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

    // The learned noise profile, which a host keeps with its session: the
    // frame length it was learned at, then the mean power of every bin of
    // every channel (channel c's at 1 + c * (N / 2 + 1)). None while learning.
    int32_t ProfileValues() const { return profileReady ? 1 + channels * binCount : 0; }
    void CopyProfile(double* values) const;
    // Changes whenever the profile does: learned, dropped or taken.
    uint64_t ProfileVersion() const { return profileVersion; }
    // Takes a saved profile in place of learning: at once when the effect is
    // framed as the profile was learned, else at the next re-framing if that
    // gives the same frame length (a host restores the Window knob beside
    // it). False when the values cannot be a profile for this effect.
    // Allocates: not for the audio thread.
    bool AdoptProfile(const double* values, int32_t count);
    // The frame length of the longest Window at this sample rate.
    int32_t LongestFrameLength() const;

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
    // Learning counts frames from here: the start of the stream, or the
    // frame of the last Snap Noise.
    int32_t learnOrigin = 0;
    uint64_t profileVersion = 0;
    // A taken profile that waits for its frame length (0: none).
    std::vector<double> savedProfile;
    int32_t savedFrameLength = 0;
};

}  // namespace orve
