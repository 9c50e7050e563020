#include "plugin/effect_factory.h"

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

}  // namespace orve

namespace orve {

void RebuildForFormat(PluginState& state, int32_t sampleRate, int32_t channels) {
    EffectId id;
    {
        PluginState::Lock lock(state.processingLock);
        id = state.effectId;
    }
    const EffectBuildContext context{sampleRate, channels, state.kernels, state.ui, state.effectSeed};
    std::unique_ptr<EffectProcessor> fresh;
    try {
        fresh = MakeEffect(id, context);
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
    state.currentEffect->SetParameters(state.parameterValues);
}

}  // namespace orve
