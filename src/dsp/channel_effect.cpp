#include "dsp/channel_effect.h"

#include <algorithm>

#include "dsp/channel_planes.h"

namespace orve {

ChannelEffect::ChannelEffect(int32_t channels, int32_t initialCapacity)
    : EffectProcessor(initialCapacity), channels(channels) {}

int32_t ChannelEffect::ProcessBlock(const double* in, double* out, int32_t inCount,
                                    int32_t outCapacity, int32_t channelMask) {
    // Old contents need not survive: the planes are rewritten from `in` below.
    GrowBuffer(inBuffer, inCapacity, inCount, 0);
    GrowBuffer(outBuffer, this->outCapacity, outCapacity, 0);

    const int32_t n = channels;
    const int32_t frames = inCount / n;
    SplitChannels(in, n, frames, inBuffer, frames);
    lastInCount = inCount;
    lastOutCapacity = outCapacity;
    producedFrames = outCapacity / n;

    ProcessChannels(channelMask);

    const int32_t outFrames = std::clamp(producedFrames, 0, outCapacity / n);
    const int32_t stride = outCapacity / n;
    JoinChannels(outBuffer, stride, n, outFrames, out);
    return n * outFrames;
}

void ChannelEffect::ProcessChannels(int32_t) {}

}  // namespace orve
