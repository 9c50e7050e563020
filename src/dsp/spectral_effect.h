#pragma once
// Short-time frame engine of the frame-based effects.
//
// Input is cut into frames of N samples per channel every hop H samples,
// optionally weighted by a normalised Blackman-Harris window, handed to
// ProcessChannels (in place, one plane per channel), weighted again and
// overlap-added (or, without a window, simply overwritten), and released hop by
// hop. The output is the processed input delayed by N - H samples, with nothing
// added or dropped.
#include <memory>

#include "dsp/effect_processor.h"

namespace orve {

constexpr int32_t kWindowed = 1;    // analysis and synthesis window
constexpr int32_t kNoWindow = 2;    // frames overwrite the accumulator

// Frame length near `target`, built from minimum x 2^i (x 3 at most once in
// practice) so that half of it factors into small radices.
int32_t ChooseFrameLength(int32_t target, int32_t minimum);

class SpectralEffect : public EffectProcessor {
public:
    SpectralEffect(double sampleRate, double frameSeconds, double hopFraction,
                   int32_t channels, int32_t capacity, int32_t windowMode);
    // For effects that set their frame length afterwards with SetFrameSeconds:
    // fields stored as given, no frame arrays until SetFrameSeconds runs.
    struct DeferFraming {};
    SpectralEffect(DeferFraming, double sampleRate, double hopFraction, int32_t channels,
                   int32_t capacity, int32_t windowMode);
    ~SpectralEffect() override;

    int32_t ProcessBlock(const double* in, double* out, int32_t inCount,
                         int32_t outCapacity, int32_t channelMask) override;
    int32_t Reset() override;

    virtual void ProcessChannels(int32_t channelMask);
    virtual int32_t InputStep();
    virtual int32_t OutputStep();

    // Re-frames: drops pending input and ready output, restarts the latency.
    void SetFrameSeconds(double seconds);
    // The same with the frame length and hop given in samples, for an effect
    // whose look-ahead is fixed in samples rather than by the hop fraction.
    void SetFrameLength(int32_t length, int32_t hopLength);

    // The same re-framing in two steps, for an effect whose knobs change the
    // frame length: the arrays are made where allocating is allowed
    // (MakeFrames; blockValues and capacity: the largest block and output
    // capacity seen, so that the queues need not grow afterwards), then
    // adopted at a block boundary, which swaps them with the arrays in use.
    struct FrameSet {
        double seconds = 0.0;
        int32_t frameLength = 0;
        std::unique_ptr<double[]> storage;
        std::unique_ptr<double[]> inBuffer, outBuffer;
        int32_t inCapacity = 0, outCapacity = 0;
    };
    static void MakeFrames(FrameSet& set, double seconds, double sampleRate, double hopFraction, int32_t channels,
                           int32_t windowMode, int32_t blockValues, int32_t capacity);
    void AdoptFrames(FrameSet& set);

    int32_t FrameLength() const { return frameLength; }
    int32_t Hop() const { return hop; }
    int32_t Channels() const { return channels; }
    // N - hop: the frames' look-ahead (see EffectProcessor::Latency).
    int32_t Latency() const override { return overlap; }

protected:
    double* FramePlane(int c) { return frameBuffer + c * frameLength; }

    double frameSeconds;
    double sampleRate;
    int32_t frameLength = 0;   // N
    int32_t channels;          // n
    double hopFraction;
    int32_t hop = 0;           // H
    int32_t overlap = 0;       // V = N - H
    int32_t frameCounter = 0;
    double* history = nullptr;
    double* accumulator = nullptr;
    double* frameBuffer = nullptr;
    double* windowedFrame = nullptr;
    double* window = nullptr;
    int32_t windowMode;
    int32_t pending = 0;
    int32_t ready = 0;
    // Where the ready values start in outBuffer: released blocks move the
    // offset, and the queue is compacted only when new frames would pass its end.
    int32_t readyStart = 0;

    // The largest block and output capacity seen (values).
    int32_t largestBlock = 0;
    int32_t largestCapacity = 0;

    // The frame length SetFrameSeconds chooses.
    static int32_t FrameLengthFor(double seconds, double sampleRate);

private:
    static size_t StorageValues(int32_t frameLength, int32_t channels, int32_t windowMode);
    // Points the frame arrays into `storage`, sets the hop (hopLength, or the
    // hop fraction when negative) and, when windowed, computes the window.
    void LayOut(double* storage, bool computeWindow, int32_t hopLength);
    void SetUpFrames(int32_t hopLength = -1);
    void ProcessFrame(const double* hopValues, int32_t channelMask);
    double* frameStorage = nullptr;
};

}  // namespace orve
