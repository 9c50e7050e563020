#pragma once
// Vocal remover that keeps the stereo image: for every bin inside a band it
// estimates the component common to both channels and subtracts it from (or,
// with a positive "Vocal", adds it to) each channel.
#include <memory>

#include "dsp/fft_engine.h"
#include "dsp/spectral_effect.h"

namespace orve {

class DeVocalStereo : public SpectralEffect {
public:
    // Always two channels, whatever the stream carries (see ProcessChannels):
    // the stream's channel count is taken like every effect's and not used.
    DeVocalStereo(double sampleRate, int32_t streamChannels);

    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;

private:
    double vocal = -1.0;
    double pan = 0.0;
    std::unique_ptr<FftEngine> fft;
    int32_t binCount;
    // Starts below the knob's default (150 Hz): a fresh effect runs with the
    // wider band until the window passes its knob values.
    double lowHz = 100.0;
    double highHz = 16000.0;
    KnobSpec knobs[4];   // the top knob's range depends on the sample rate
};

}  // namespace orve
