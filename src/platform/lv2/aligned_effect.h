#pragma once
// An effect run over host periods of any size at one constant, stated delay:
// what a host that hands out fixed periods and wants as many frames back
// (LV2) needs from the effect's own stream, which releases frames when it has
// them.
//
// Output frame t is the effect's output for input frame t - Latency(), from
// the first frame on and for any sequence of period sizes (0 included).
// Convolution effects hold back exactly their Latency(); frame-based effects
// hold back between their Latency() + 1 and Latency() + hop frames, depending
// on where the hop boundaries fall, so the delay is the most they can hold
// (FixedPeriodLatency) and what they release early waits in the output queue.
//
// Around the effect: the output gain on the processed channels, the host's
// bypass as a crossfade to the input delayed by the same latency, and the
// conversion between the host's float planes (full scale 1) and the effects'
// interleaved doubles on the 16-bit scale. Process allocates nothing; all
// buffers are made at construction for the largest latency the effect can
// reach.
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/effect_processor.h"

namespace orve {
class SpectralEffect;
}

namespace orve::lv2 {

class AlignedEffect {
public:
    // Frames handed to the effect per call at most: longer periods are cut.
    static constexpr int32_t kMaxChunk = 512;

    AlignedEffect(std::unique_ptr<EffectProcessor> effect, int32_t channels, double sampleRate);

    EffectProcessor& Effect() { return *effect; }
    int32_t Channels() const { return channels; }
    int32_t Latency() const { return latency; }

    // Settings for the next Process. The gain (a factor) ramps over 10 ms;
    // the bypass, and switching every channel off (PASS), crossfade to the
    // delayed input over 20 ms. The first Process after construction or
    // Restart starts at them.
    void SetChannelMask(int32_t mask) { channelMask = mask; }
    void SetGain(double factor);
    void SetEnabled(bool on) { enabled = on; }

    // `frames` frames of each channel's plane; out may be in.
    void Process(const float* const* in, float* const* out, int32_t frames);

    // Carries on with `replacement` as a fresh stream: the queues start over
    // as at construction. It must be built for the same format.
    void Restart(std::unique_ptr<EffectProcessor> replacement);

private:
    // A value that moves linearly to its target over a set number of frames.
    struct Ramp {
        double value = 1.0, target = 1.0, step = 0.0;
        int32_t remaining = 0;
        void Start(double to, int32_t frames, bool jump);
        double Next();   // the value for the next frame
    };

    // Under PASS the effect plays on (and the gain with it) as if every
    // channel were on, so that the crossfade back finds it ready.
    int32_t ProcessingMask() const { return channelMask != 0 ? channelMask : (channels == 1 ? 1 : 3); }
    void StartStream();
    void RunChunk(const float* const* in, float* const* out, int32_t offset, int32_t frames);
    // Feeds one chunk and queues everything the effect releases for it.
    void FeedEffect(int32_t frames);
    // After a re-framing changed the latency: the queue keeps what it held
    // (cut or padded with silence to the new latency) ahead of the new
    // stream's first frames, the last `fresh` values.
    void AdoptLatency(int32_t fresh);
    void MakeRoom(int32_t values);

    int32_t HeldBackAtMost() const;

    std::unique_ptr<EffectProcessor> effect;
    SpectralEffect* framed = nullptr;   // the effect, when it is frame-based
    const int32_t channels;
    const double sampleRate;
    int32_t latency = 0;
    int32_t maxLatency = 0;
    int32_t channelMask = 3;
    bool enabled = true;
    bool started = false;
    Ramp gain, wet;

    std::vector<double> feed;       // one chunk, interleaved, 16-bit scale
    std::vector<double> queue;      // the effect's released output, interleaved
    int32_t queueRead = 0, queueWrite = 0;   // values
    std::vector<float> dry;         // the input, one ring per channel, for the bypass
    int32_t dryLength = 0, dryWrite = 0;   // frames
};

}  // namespace orve::lv2
