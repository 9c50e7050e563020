#pragma once
// The reverbs' stream: each of the first two channels (the ears) convolved
// with a kernel of its own, the kernels rebuilt off the audio thread and
// swapped in with a crossfade, further channels delayed to stay aligned.
//
// The effect hands its KernelBuild out through TakeWork and takes it back in
// FinishWork (see EffectProcessor). One build object serves the effect for its
// whole life, so lending it allocates nothing; besides a build it carries
// back what a swap left over (the old kernels and history rings), which its
// Run() releases first.
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/effect_processor.h"
#include "dsp/stream_convolver.h"

namespace orve {

class KernelBuild : public EffectWork {
public:
    static constexpr int32_t kMaxEars = 2;

    KernelBuild(int32_t ears, int32_t levels);
    // Releases what it carries back, then builds when asked to.
    void Run() final;

    // Set by ConvolvedChannels before it lends the build out.
    bool build = false;
    HistoryShape shapes[kMaxEars];
    // Results of a build, for each ear.
    std::unique_ptr<ConvolutionKernel> kernels[kMaxEars];
    std::unique_ptr<ConvolutionHistory> histories[kMaxEars];
    // Left over from the last swap, to be released by Run().
    std::unique_ptr<ConvolutionKernel> spentKernels[kMaxEars];
    std::unique_ptr<ConvolutionHistory> spentHistories[kMaxEars];

protected:
    // The derived build's own inputs give each ear's response, taps[ear];
    // an empty one means silence.
    virtual void BuildResponses(std::vector<double> (&taps)[kMaxEars]) = 0;
    const int32_t ears;
    const int32_t levels;

private:
    std::vector<double> taps[kMaxEars];
};

class ConvolvedChannels {
public:
    static constexpr int32_t kFadeFrames = 1024;

    // channels of the stream; the first min(channels, 2) are convolved.
    ConvolvedChannels(int32_t channels, int32_t levels, std::unique_ptr<KernelBuild> build);

    int32_t Ears() const { return ears; }
    static constexpr int32_t Latency() { return StreamConvolver::kLatency; }

    // The build object when it is at home and there is something to do:
    // build set when a build is wanted and none waits to be swapped in (the
    // caller then fills its inputs), or only left-overs to release. Null
    // otherwise. Lend() then hands it out.
    KernelBuild* PrepareWork(bool buildWanted);
    std::unique_ptr<EffectWork> Lend();
    std::unique_ptr<EffectWork> FinishWork(std::unique_ptr<EffectWork> work);

    // At a block boundary: retires a finished crossfade's kernels and swaps in
    // a finished build when no crossfade runs (true then).
    bool BeginBlock();
    // One plane of `frames` input frames per channel (plane c at in + c *
    // inStride) in, the released frames out (plane c at out + c * outStride;
    // the same count on every plane, returned): the convolution on enabled
    // ears, the input delayed alike elsewhere.
    int32_t Process(const double* in, int32_t inStride, double* out, int32_t outStride, int32_t frames,
                    int32_t channelMask);
    void Reset();

    // The kernels playing (null before the first build or without data).
    const ConvolutionKernel* Kernel(int32_t ear) const { return kernels[ear].get(); }

private:
    int32_t channels;
    int32_t ears;
    // The streams' transforms: one set serves every channel (their
    // twiddle tables are most of what a stream costs to set up).
    std::unique_ptr<LevelTransforms> transforms;
    std::vector<std::unique_ptr<StreamConvolver>> streams;
    std::unique_ptr<KernelBuild> build;   // null while lent out
    const EffectWork* lent = nullptr;
    bool incomingReady = false;
    std::unique_ptr<ConvolutionKernel> kernels[KernelBuild::kMaxEars];
    std::unique_ptr<ConvolutionKernel> incoming[KernelBuild::kMaxEars];
    std::unique_ptr<ConvolutionHistory> incomingHistory[KernelBuild::kMaxEars];
    std::unique_ptr<ConvolutionKernel> fading[KernelBuild::kMaxEars];
    std::unique_ptr<ConvolutionKernel> spentKernels[KernelBuild::kMaxEars];
    std::unique_ptr<ConvolutionHistory> spentHistories[KernelBuild::kMaxEars];
};

}  // namespace orve
