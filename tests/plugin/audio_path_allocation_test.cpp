// The audio thread must not allocate once an effect has played its first
// second: an allocation can block on a lock another thread holds and make the
// player drop out. The counter is armed only around ModifySamples.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/posix/embedded_kernels.h"
#include "plugin/audio_path.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"
#include "plugin/effect_worker.h"
#include "plugin/plugin_state.h"
#include "support/allocation_counter.h"
#include "support/test_signals.h"

namespace orve {
namespace {

// Two seconds of stereo noise in blocks of one size, as a player hands them
// over, with every knob moved a little every tenth of a second. Rebuilds run
// on a deferred worker between blocks, where the plug-in's worker thread
// would run them. Returns the allocations of the second second.
long AllocationsOfTheSecondSecond(EffectId id, int32_t sampleRate, int32_t blockFrames) {
    static EmbeddedKernels kernels;
    PluginState state(nullptr, &kernels, nullptr);
    state.worker = std::make_unique<EffectWorker>(EffectWorker::Mode::Deferred);
    state.effectId = id;
    state.lastSampleRate = sampleRate;
    state.lastChannels = 2;
    BuildEffect(state, sampleRate, 2, false);
    state.currentEffect->SetParameters(state.parameterValues);

    std::mt19937 random(static_cast<uint32_t>(EffectNumber(id) * 7 + blockFrames));
    const auto noise = test::Noise(2 * blockFrames, 6000.0, 3);
    std::vector<int16_t> host(4 * blockFrames);
    const int32_t blocks = 2 * sampleRate / blockFrames;
    const int32_t moveEvery = std::max(1, sampleRate / 10 / blockFrames);
    long seen = 0;
    for (int32_t b = 0; b < blocks; ++b) {
        if (b % moveEvery == 0) {
            // Near the defaults: a drag, not a leap to the largest room.
            for (int32_t k = 0; k < state.knobCount; ++k) {
                const KnobSpec& knob = state.knobTable[k];
                const int32_t at = KnobPositionOf(knob, knob.defaultValue) + static_cast<int32_t>(random() % 1001) - 500;
                state.parameterValues[k] = KnobValueAt(knob, std::clamp(at, 0, kKnobPositionMax));
            }
            state.currentEffect->SetParameters(state.parameterValues);
        }
        for (int32_t i = 0; i < 2 * blockFrames; ++i) host[i] = static_cast<int16_t>(noise[i]);
        test::allocationsSeen = 0;
        test::countingArmed = b >= blocks / 2;
        ModifySamples(state, host.data(), blockFrames, 16, 2, sampleRate);
        test::countingArmed = false;
        seen += test::allocationsSeen;
        state.worker->RunPending();
    }
    return seen;
}

TEST(AudioPathAllocation, NothingAfterTheFirstSecondKnobMovesIncluded) {
    for (const EffectEntry& entry : OfferedEffects())
        for (int32_t rate : {8000, 44100, 96000})
            for (int32_t frames : {576, 1000})
                EXPECT_EQ(AllocationsOfTheSecondSecond(entry.id, rate, frames), 0)
                    << entry.Text() << ", " << rate << " Hz, blocks of " << frames;
}

}  // namespace
}  // namespace orve
