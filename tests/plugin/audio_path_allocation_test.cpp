// The audio thread must not allocate once an effect has played its first
// second: an allocation can block on a lock another thread holds and make the
// player drop out. The counter is armed only around ModifySamples.
#include <gtest/gtest.h>

#include <random>
#include <string>
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

struct Setting {
    EffectId effectId;
    int32_t sampleRate;
    int32_t blockFrames;
};

class AudioPathAllocation : public testing::TestWithParam<Setting> {};

// Two seconds of stereo noise in blocks of one size, as a player hands them
// over, with every knob moved a little every tenth of a second. Rebuilds run
// on a deferred worker between blocks, where the plug-in's worker thread
// would run them. The second second must not allocate at all.
TEST_P(AudioPathAllocation, NothingAfterTheFirstSecondKnobMovesIncluded) {
    const Setting s = GetParam();
    static EmbeddedKernels kernels;
    PluginState state(nullptr, &kernels, nullptr);
    state.worker = std::make_unique<EffectWorker>(EffectWorker::Mode::Deferred);
    state.effectId = s.effectId;
    state.lastSampleRate = s.sampleRate;
    state.lastChannels = 2;
    BuildEffect(state, s.sampleRate, 2, false);
    state.currentEffect->SetParameters(state.parameterValues);

    std::mt19937 random(static_cast<uint32_t>(EffectNumber(s.effectId) * 7 + s.blockFrames));
    const auto noise = test::Noise(2 * s.blockFrames, 6000.0, 3);
    std::vector<int16_t> host(4 * s.blockFrames);
    const int32_t blocks = 2 * s.sampleRate / s.blockFrames;
    const int32_t moveEvery = std::max(1, s.sampleRate / 10 / s.blockFrames);
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
        for (int32_t i = 0; i < 2 * s.blockFrames; ++i) host[i] = static_cast<int16_t>(noise[i]);
        const bool measured = b >= blocks / 2;
        test::allocationsSeen = 0;
        test::countingArmed = measured;
        ModifySamples(state, host.data(), s.blockFrames, 16, 2, s.sampleRate);
        test::countingArmed = false;
        seen += test::allocationsSeen;
        state.worker->RunPending();
    }
    EXPECT_EQ(seen, 0);
}

std::vector<Setting> EverySetting() {
    std::vector<Setting> settings;
    for (const EffectEntry& entry : OfferedEffects())
        for (int32_t rate : {8000, 44100, 96000})
            for (int32_t frames : {576, 1000}) settings.push_back({entry.id, rate, frames});
    return settings;
}

INSTANTIATE_TEST_SUITE_P(EveryEffect, AudioPathAllocation, testing::ValuesIn(EverySetting()),
                         [](const testing::TestParamInfo<Setting>& info) {
                             return "Effect" + std::to_string(EffectNumber(info.param.effectId)) + "_" +
                                    std::to_string(info.param.sampleRate) + "Hz_" +
                                    std::to_string(info.param.blockFrames);
                         });

}  // namespace
}  // namespace orve
