#pragma once
// The per-block callback: integer PCM in, effect, gain, clip, integer PCM out.
#include <cstdint>

namespace orve {

class PluginState;

// samples holds numsamples frames of nch interleaved samples of bps bits
// (8 unsigned, 16 and 32 signed) and is rewritten in place; it must have room
// for twice the block when the current effect lengthens the stream. Returns the
// frame count now in the buffer. A rate or channel count outside the operating
// range (dsp/operating_range.h), another width or a longer block than it allows
// passes through untouched.
int32_t ModifySamples(PluginState& state, void* samples, int32_t numsamples, int32_t bps,
                      int32_t nch, int32_t srate);

// Meter reading (0..100, dB + 100) of a peak on a scale of fullScale.
int32_t MeterReading(double peak, double fullScale);

}  // namespace orve
