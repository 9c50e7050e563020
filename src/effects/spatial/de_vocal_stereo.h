#pragma once
// Vocal remover that keeps the stereo image: for every bin inside a band it
// estimates the component common to both channels and subtracts it from (or,
// with a positive "Vocal", adds it to) each channel.
#include <atomic>
#include <memory>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"

namespace orve {

class DeVocalStereo : public SpectralEffect {
public:
    // Always two channels, whatever the stream carries (see ProcessChannels).
    explicit DeVocalStereo(double sampleRate);

    int32_t DescribeKnobs(KnobSpec* table) override;
    void SetParameters(const double* values) override;
    int32_t GetPresets(const EffectPreset** tableOut) override;
    int32_t PresetCount() override;
    void ProcessChannels(int32_t channelMask) override;

private:
    // The knob values are written on the window thread (a preset selection
    // does so without the processing lock) and read once per frame.
    std::atomic<double> vocal{-1.0};
    std::atomic<double> pan{0.0};
    std::unique_ptr<FftEngine> fft;
    int32_t binCount;
    // Starts below the knob's default (150 Hz): a fresh effect runs with the
    // wider band until the window passes its knob values.
    std::atomic<double> lowHz{100.0};
    std::atomic<double> highHz{16000.0};
};

}  // namespace orve
