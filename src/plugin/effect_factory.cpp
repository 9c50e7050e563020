#include "plugin/effect_factory.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <new>

#include "dsp/operating_range.h"
#include "plugin/plugin_state.h"

namespace orve {

std::unique_ptr<EffectProcessor> MakeEffect(EffectId id, const EffectBuildContext& context) {
    // The hosts never ask for a format outside the range; if one did, its
    // sizes could overflow or run to gigabytes in an effect's constructor.
    if (!InOperatingRange(context.sampleRate, context.channels)) return std::make_unique<EffectProcessor>(0);
    return CatalogueEntry(id).construct(context);
}

void BuildEffect(PluginState& state, int32_t sampleRate, int32_t channels, bool keepParameters) {
    state.currentEffect.reset();
    const EffectBuildContext context{sampleRate, channels, state.kernels, state.ui, state.effectSeed};
    try {
        state.currentEffect = MakeEffect(state.effectId, context);
    } catch (const std::bad_alloc&) {
        // The audio path tries again on its next block.
        state.knobCount = 0;
        return;
    }
    state.knobCount = state.currentEffect->DescribeKnobs(state.knobTable);
    if (keepParameters) {
        state.currentEffect->SetParameters(state.parameterValues);
    } else {
        state.outputGain = 1.0;
        for (int32_t i = 0; i < state.knobCount; ++i) state.parameterValues[i] = state.knobTable[i].defaultValue;
    }
}

void BuildFirstWork(PluginState& state) {
    if (!state.currentEffect) return;
    try {
        RunWorkNow(*state.currentEffect);
    } catch (const std::bad_alloc&) {
        // The audio path tries again on its next block.
        state.currentEffect.reset();
        state.knobCount = 0;
    }
}

}  // namespace orve

namespace orve {

void RebuildForFormat(PluginState& state, int32_t sampleRate, int32_t channels) {
    EffectId id;
    double values[kMaxKnobs];
    {
        PluginState::Lock lock(state.processingLock);
        id = state.effectId;
        std::copy(std::begin(state.parameterValues), std::end(state.parameterValues), values);
    }
    const EffectBuildContext context{sampleRate, channels, state.kernels, state.ui, state.effectSeed};
    std::unique_ptr<EffectProcessor> fresh;
    try {
        fresh = MakeEffect(id, context);
        // Its first build (a reverb's room) with the kept knobs, here and
        // unlocked, so that the first block plays the right room whole.
        fresh->SetParameters(values);
        RunWorkNow(*fresh);
    } catch (const std::bad_alloc&) {
        fresh.reset();
    }
    std::unique_ptr<EffectProcessor> old;   // destroyed after the lock is released
    PluginState::Lock lock(state.processingLock);
    if (state.effectId != id) return;
    old = std::move(state.currentEffect);
    if (!fresh) {
        // The audio path tries again on its next block.
        state.knobCount = 0;
        return;
    }
    state.currentEffect = std::move(fresh);
    state.knobCount = state.currentEffect->DescribeKnobs(state.knobTable);
    // Knobs the window moved meanwhile; a repeat of the same values would
    // only build the same room again.
    if (!std::equal(std::begin(values), std::end(values), std::begin(state.parameterValues)))
        state.currentEffect->SetParameters(state.parameterValues);
}

}  // namespace orve
