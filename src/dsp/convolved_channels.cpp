#include "dsp/convolved_channels.h"

#include <algorithm>

namespace orve {

KernelBuild::KernelBuild(int32_t earsIn, int32_t levelsIn)
    : ears(std::clamp(earsIn, 0, kMaxEars)), levels(levelsIn) {}

void KernelBuild::Run() {
    // What the last swap replaced goes first: the old room and the new one
    // need not be held together any longer than the crossfade did.
    for (int32_t e = 0; e < kMaxEars; ++e) {
        spentKernels[e].reset();
        spentHistories[e].reset();
    }
    if (!build) return;
    BuildResponses(taps);
    // Each kernel takes the levels that convolve it for the least work (the
    // streams run as many as the longest kernel needs).
    int32_t used[kMaxEars] = {};
    int32_t most = 1;
    for (int32_t e = 0; e < ears; ++e) {
        used[e] = LevelsFor(static_cast<int32_t>(taps[e].size()), levels);
        most = std::max(most, used[e]);
    }
    // Made for each build and released after it: the largest transform's
    // tables are megabytes the effect need not hold between builds.
    const auto transforms = std::make_unique<LevelTransforms>(most);
    for (int32_t e = 0; e < ears; ++e) {
        kernels[e] = std::make_unique<ConvolutionKernel>(static_cast<int32_t>(taps[e].size()), used[e]);
        kernels[e]->Load(taps[e].data(), *transforms);
        histories[e] = StreamConvolver::PlanHistory(shapes[e], kernels[e].get());
        // The response itself is not kept: its spectra are what plays.
        std::vector<double>().swap(taps[e]);
    }
}

ConvolvedChannels::ConvolvedChannels(int32_t channelsIn, int32_t levels, std::unique_ptr<KernelBuild> buildIn)
    : channels(std::max(channelsIn, 1)),
      ears(std::min(channels, KernelBuild::kMaxEars)),
      transforms(std::make_unique<LevelTransforms>(std::clamp(levels, 1, kConvolutionLevels))),
      build(std::move(buildIn)) {
    // Channels without an ear need only the delay line. The second ear
    // spreads its long levels' work differently, so that the two ears'
    // largest transforms do not fall into the same block.
    for (int32_t c = 0; c < channels; ++c)
        streams.push_back(
            std::make_unique<StreamConvolver>(c < ears ? levels : 1, kFadeFrames, c == 1 ? 0.6 : 0.75, transforms.get()));
}

KernelBuild* ConvolvedChannels::PrepareWork(bool buildWanted) {
    if (!build) return nullptr;
    bool leftOvers = false;
    for (int32_t e = 0; e < KernelBuild::kMaxEars; ++e) {
        leftOvers = leftOvers || spentKernels[e] || spentHistories[e];
        build->spentKernels[e] = std::move(spentKernels[e]);
        build->spentHistories[e] = std::move(spentHistories[e]);
    }
    // One finished build waits at most: a later one would only replace it.
    build->build = buildWanted && !incomingReady;
    if (build->build)
        for (int32_t e = 0; e < ears; ++e) build->shapes[e] = streams[e]->Shape();
    return build->build || leftOvers ? build.get() : nullptr;
}

std::unique_ptr<EffectWork> ConvolvedChannels::Lend() {
    lent = build.get();
    return std::move(build);
}

std::unique_ptr<EffectWork> ConvolvedChannels::FinishWork(std::unique_ptr<EffectWork> work) {
    if (!work || work.get() != lent) return work;
    build.reset(static_cast<KernelBuild*>(work.release()));
    lent = nullptr;
    if (build->build) {
        for (int32_t e = 0; e < ears; ++e) {
            incoming[e] = std::move(build->kernels[e]);
            incomingHistory[e] = std::move(build->histories[e]);
        }
        incomingReady = true;
        build->build = false;
    }
    return nullptr;
}

bool ConvolvedChannels::BeginBlock() {
    bool changing = false;
    for (int32_t e = 0; e < ears; ++e) changing = changing || streams[e]->Changing();
    if (changing) return false;
    // The crossfade is over: the kernels it faded from are free. They leave
    // with the next work handed out, once the slot for them is empty.
    bool held = false;
    for (int32_t e = 0; e < ears; ++e) {
        if (fading[e] && !spentKernels[e]) spentKernels[e] = std::move(fading[e]);
        held = held || fading[e] || spentHistories[e];
    }
    if (!incomingReady || held) return false;
    for (int32_t e = 0; e < ears; ++e) {
        streams[e]->Change(incoming[e].get(), *incomingHistory[e]);
        spentHistories[e] = std::move(incomingHistory[e]);
        fading[e] = std::move(kernels[e]);
        kernels[e] = std::move(incoming[e]);
        // Before any input the switch is immediate: nothing fades.
        if (!streams[e]->Changing() && !spentKernels[e]) spentKernels[e] = std::move(fading[e]);
    }
    incomingReady = false;
    return true;
}

int32_t ConvolvedChannels::Process(const double* in, int32_t inStride, double* out, int32_t outStride,
                                   int32_t frames, int32_t channelMask) {
    int32_t released = 0;
    for (int32_t c = 0; c < channels; ++c) {
        // Every ear keeps convolving while switched off, so that its room is
        // there when it is switched on again.
        const bool wet = c < ears && ChannelEnabled(channelMask, c);
        double* plane = out + static_cast<size_t>(c) * outStride;
        released = streams[c]->Process(in + static_cast<size_t>(c) * inStride, frames, wet ? plane : nullptr,
                                       wet ? nullptr : plane);
    }
    return released;
}

void ConvolvedChannels::Reset() {
    for (auto& stream : streams) stream->Reset();
}

}  // namespace orve
