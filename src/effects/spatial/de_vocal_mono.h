#pragma once
// Vocal remover for stereo material: inside a frequency band both channels are
// replaced by their pan-weighted difference, so whatever is common to both
// cancels; the band comes out as one signal in opposite phase on the two
// channels, the rest passes unchanged.
#include <atomic>
#include <memory>
#include <vector>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"

namespace orve {

class DeVocalMono : public SpectralEffect {
public:
    // Always two channels, whatever the stream carries (see ProcessChannels).
    explicit DeVocalMono(double sampleRate);

    int32_t DescribeKnobs(KnobSpec* table) override;
    void SetParameters(const double* values) override;
    int32_t GetPresets(const EffectPreset** tableOut) override;
    int32_t PresetCount() override;
    void ProcessChannels(int32_t channelMask) override;

    // Per packed spectrum index: the share of the bin that is replaced.
    double BandWeight(int32_t index) const { return 2.0 * bandMask[index]; }

private:
    void BuildMasks();

    // The knob values are written on the window thread (a preset selection
    // does so without the processing lock) and read on the audio thread.
    std::atomic<double> lowHz{200.0};
    // Starts above the knob's default (10000 Hz): a fresh effect runs with the
    // wider band until the window passes its knob values.
    std::atomic<double> highHz{12000.0};
    std::atomic<double> pan{0.0};
    std::unique_ptr<FftEngine> fft;
    int32_t binCount;
    std::vector<double> work;       // difference signal, then its spectrum
    std::vector<double> bandMask;   // half the band weight m per packed index
    std::vector<double> passMask;   // 1 - m
    // Raised by SetParameters (window thread); the masks are rebuilt on the
    // audio thread before the next frame.
    std::atomic<bool> maskDirty{false};
};

}  // namespace orve
