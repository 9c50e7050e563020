#pragma once
// Mains hum remover: one adaptive canceller per channel predicts each sample
// from a short window one hum period back and outputs the prediction error, so
// whatever repeats with the hum period cancels.
#include <cstdint>
#include <vector>

#include "dsp/channel_effect.h"

namespace orve {

// Normalised-LMS predictor over a window of 2M + 1 samples centred one hum
// period P back. Right after set-up it is the comb x[n] - x[n - P]; it then
// adapts to the material (fractional periods, drifting mains, harmonics).
class HumCanceller {
public:
    // Buffers are sized for the lowest hum frequency the knob offers, so that a
    // retune never allocates; then set up for f0.
    HumCanceller(double sampleRate, double humHz);

    // Restarts for a new hum frequency: centre tap 1, silent fill of D - 1 samples.
    void SetUp(double sampleRate, double humHz);
    // Runs `count` samples through the canceller (in and out may alias).
    void Process(const double* in, double* out, int32_t count);

private:
    double Step(double x);

    int32_t delayLength = 0;   // D = P + M + 1
    int32_t tapCount = 0;      // T = 2M + 1
    int32_t fillCount = 0;     // samples still to take in before output starts
    int32_t writePos = 0;      // index into delayLine of the next sample
    int32_t delayEnd = 0;      // D: the ring is delayLine[0 .. D), mirrored at [D .. 2D)
    std::vector<double> taps;
    std::vector<double> delayLine;
    double step = 1e-10;
    // The running power is 1e-10 plus the sum of squares of the last D samples.
    // The sum is held apart from the 1e-10 floor: added to loud material the
    // floor would vanish in rounding, and after the material has left the ring
    // the power would fall to exactly 0 and 2 / power would poison the taps.
    double sumSquares = 0.0;
};

class DeHum : public ChannelEffect {
public:
    // Supports one or two channels with cancellers; further channels of the
    // stream pass through unchanged (see ProcessChannels).
    DeHum(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    int32_t Reset() override;
    void ProcessChannels(int32_t channelMask) override;

private:
    double sampleRate;
    double humHz = 50.0;
    // Raised by SetParameters; the next block restarts the cancellers.
    bool retune = false;
    HumCanceller cancellers[2];
};

}  // namespace orve
