#pragma once
// Vibrato: each channel is read through a delay line whose length follows a
// sine, so the pitch swings periodically around the original.
#include <memory>

#include "dsp/channel_effect.h"

namespace orve {

class Vibrato : public ChannelEffect {
public:
    Vibrato(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    double DisplayValue(int32_t knobIndex, double value) override;
    int32_t Reset() override;
    void ProcessChannels(int32_t channelMask) override;

private:
    void BuildTables();

    double sampleRate;
    double vibFreq = 8.0;    // Hz
    double depth = 0.001;    // seconds; the delay moves between 0 and twice this
    std::unique_ptr<double[]> storage;   // lfoTable then the delay lines
    double* lfoTable = nullptr;          // P: delay in samples per step of one period
    double* delayLines = nullptr;        // ch x lineLength, newest sample first
    int32_t P = 0;
    int32_t D = 0;
    int32_t lineLength = 0;
    int32_t lfoPos = 0;
    bool tablesStale = false;
};

}  // namespace orve
