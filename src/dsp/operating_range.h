#pragma once
// The stream formats the effects are built and tested for, stated once for
// every host (the plug-in's audio path, `orve`, the LV2 bundle).
//
// Every effect sizes its delay lines, frames and tables from the sample rate
// and channel count, in 32-bit counts: at a few hertz a frame rounds to no
// samples at all, at billions of hertz a second of history no longer fits.
// Inside this range every such size is small and every effect is exercised by
// the tests; outside it the hosts build no effect (the plug-in passes the
// audio through untouched, `orve` refuses the file).
#include <cstdint>
#include <string>

namespace orve {

constexpr int32_t kMinSampleRate = 8000;
constexpr int32_t kMaxSampleRate = 192000;
constexpr int32_t kMinChannels = 1;
constexpr int32_t kMaxChannels = 8;
// Frames in one block. The audio path holds three blocks' worth of doubles
// (input, and room for an effect that lengthens the stream), so this keeps
// its buffer under 200 MB at the most channels.
constexpr int32_t kMaxBlockFrames = 1 << 20;

// The integer sample widths the audio path converts: 8 (unsigned), 16 and 32.
constexpr bool SupportedSampleBits(int32_t bits) { return bits == 8 || bits == 16 || bits == 32; }

// The rate and channel count an effect may be built for.
constexpr bool InOperatingRange(int32_t sampleRate, int32_t channels) {
    return sampleRate >= kMinSampleRate && sampleRate <= kMaxSampleRate && channels >= kMinChannels &&
           channels <= kMaxChannels;
}

// "8000 to 192000 Hz, 1 to 8 channels", for messages.
inline std::string OperatingRangeText() {
    return std::to_string(kMinSampleRate) + " to " + std::to_string(kMaxSampleRate) + " Hz, " +
           std::to_string(kMinChannels) + " to " + std::to_string(kMaxChannels) + " channels";
}

}  // namespace orve
