// The audio thread must not allocate once its buffers have grown: an
// allocation can block on a lock the UI thread holds and make the player drop
// out. Every operator new of this test binary is counted while a test arms
// the counter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "dsp/channel_effect.h"
#include "dsp/spectral_effect.h"
#include "plugin/audio_path.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"
#include "support/test_signals.h"

namespace {
bool countingArmed = false;
long allocationsSeen = 0;

void* CountedAllocation(std::size_t size) {
    if (countingArmed) ++allocationsSeen;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return CountedAllocation(size); }
void* operator new[](std::size_t size) { return CountedAllocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (countingArmed) ++allocationsSeen;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (countingArmed) ++allocationsSeen;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace orve {
namespace {

// Counts the allocations of the blocks after the first `warmUp`, which may grow
// the buffers. Blocks vary in size below the largest, as a player's do.
long AllocationsAfterWarmUp(PluginState& state, int32_t channels, int32_t sampleRate) {
    const int32_t largest = 1152;
    const auto signal = test::Noise(largest * channels, 8000.0, 3);
    std::vector<int16_t> host(2 * largest * channels);
    const int32_t sizes[] = {largest, 576, 1000, 17, largest, 333};
    long seen = 0;
    for (int32_t call = 0; call < 60; ++call) {
        const int32_t frames = sizes[call % 6];
        for (int32_t i = 0; i < frames * channels; ++i) host[i] = static_cast<int16_t>(signal[i]);
        const bool measured = call >= 30;
        allocationsSeen = 0;
        countingArmed = measured;
        ModifySamples(state, host.data(), frames, 16, channels, sampleRate);
        countingArmed = false;
        seen += allocationsSeen;
    }
    return seen;
}

// A frame-based effect that changes nothing, and a per-channel one that copies:
// the framework alone, whatever the effects built on it do.
class QuietSpectral : public SpectralEffect {
public:
    QuietSpectral() : SpectralEffect(44100, 0.05, 0.25, 2, 5000, kWindowed) {}
};
class CopyingChannels : public ChannelEffect {
public:
    CopyingChannels() : ChannelEffect(2, 100) {}
    void ProcessChannels(int32_t) override {
        for (int32_t c = 0; c < channels; ++c)
            for (int32_t f = 0; f < OutputFrames() && f < InputFrames(); ++f) OutputPlane(c)[f] = InputPlane(c)[f];
    }
};

TEST(AudioPathAllocation, FrameworkBlocksAllocateNothingOnceGrown) {
    PluginState state(nullptr);
    BuildEffect(state, 44100, 2, false);   // Level Tuning: the audio path alone
    EXPECT_EQ(AllocationsAfterWarmUp(state, 2, 44100), 0);
    state.currentEffect = std::make_unique<QuietSpectral>();
    EXPECT_EQ(AllocationsAfterWarmUp(state, 2, 44100), 0);
    state.currentEffect = std::make_unique<CopyingChannels>();
    EXPECT_EQ(AllocationsAfterWarmUp(state, 2, 44100), 0);
}

TEST(AudioPathAllocation, CatalogueEffectsAllocateNothingOnceGrown) {
    // DeNoise (spectral, with its own transform) and the ten-band equaliser
    // (per channel), through the factory as the plug-in builds them.
    for (EffectId id : {EffectId::DeNoise, EffectId::Geq10Bands}) {
        PluginState state(nullptr);
        state.effectId = id;
        BuildEffect(state, 44100, 2, false);
        state.currentEffect->SetParameters(state.parameterValues);
        EXPECT_EQ(AllocationsAfterWarmUp(state, 2, 44100), 0) << EffectText(id);
    }
}

}  // namespace
}  // namespace orve
