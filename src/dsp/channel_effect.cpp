#include "dsp/channel_effect.h"

#include <algorithm>

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
    if (n == 2) {
        // Stereo with its channel count known: the loop runs in vector registers.
        double* left = inBuffer;
        double* right = inBuffer + frames;
        for (int32_t f = 0; f < frames; ++f) {
            left[f] = in[2 * f];
            right[f] = in[2 * f + 1];
        }
    } else {
        for (int32_t c = 0; c < n; ++c) {
            double* plane = inBuffer + c * frames;
            for (int32_t f = 0; f < frames; ++f) plane[f] = in[f * n + c];
        }
    }
    lastInCount = inCount;
    lastOutCapacity = outCapacity;
    producedFrames = outCapacity / n;

    ProcessChannels(channelMask);

    const int32_t outFrames = std::clamp(producedFrames, 0, outCapacity / n);
    const int32_t stride = outCapacity / n;
    if (n == 2) {
        const double* left = outBuffer;
        const double* right = outBuffer + stride;
        for (int32_t g = 0; g < outFrames; ++g) {
            out[2 * g] = left[g];
            out[2 * g + 1] = right[g];
        }
    } else {
        for (int32_t c = 0; c < n; ++c) {
            const double* plane = outBuffer + c * stride;
            for (int32_t g = 0; g < outFrames; ++g) out[g * n + c] = plane[g];
        }
    }
    return n * outFrames;
}

void ChannelEffect::ProcessChannels(int32_t) {}

}  // namespace orve
