#pragma once
// Base of the effects that filter each channel as one plane of samples.
#include "dsp/effect_processor.h"

namespace orve {

// ProcessBlock de-interleaves the block into one plane per channel in
// inBuffer (plane c starts at c * InputFrames()), calls ProcessChannels, and
// re-interleaves the planes of outBuffer (plane c at c * OutputFrames()).
// It returns its output capacity rounded down to whole frames, or fewer
// frames when ProcessChannels lowers producedFrames (an effect that holds
// frames back at the start of the stream).
class ChannelEffect : public EffectProcessor {
public:
    ChannelEffect(int32_t channels, int32_t initialCapacity);

    int32_t ProcessBlock(const double* in, double* out, int32_t inCount,
                         int32_t outCapacity, int32_t channelMask) override;
    virtual void ProcessChannels(int32_t channelMask);

protected:
    int32_t InputFrames() const { return lastInCount / channels; }
    int32_t OutputFrames() const { return lastOutCapacity / channels; }
    const double* InputPlane(int c) const { return inBuffer + c * InputFrames(); }
    double* OutputPlane(int c) { return outBuffer + c * OutputFrames(); }

    int32_t channels;
    // Frames of the output planes handed back; OutputFrames() unless
    // ProcessChannels says fewer.
    int32_t producedFrames = 0;
    int32_t lastInCount = 0;
    int32_t lastOutCapacity = 0;
};

}  // namespace orve
