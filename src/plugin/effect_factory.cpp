#include "plugin/effect_factory.h"

#include <new>

#include "effects/timepitch/pitch_scaler.h"
#include "effects/timepitch/resampler.h"
#include "effects/timepitch/tempo_scaler.h"
#include "effects/timepitch/vibrato.h"
#include "effects/timepitch/whisper.h"
#include "plugin/effect_catalogue.h"
#include "plugin/plugin_state.h"

namespace orve {
namespace {

std::unique_ptr<EffectProcessor> PassThrough(const EffectBuildContext&) {
    return std::make_unique<EffectProcessor>(6000);
}

std::unique_ptr<EffectProcessor> MakeResampler(const EffectBuildContext& c) {
    return std::make_unique<Resampler>(c.sampleRate, c.channels);
}

std::unique_ptr<EffectProcessor> MakeTempoScaler(const EffectBuildContext& c) {
    return std::make_unique<TempoScaler>(c.sampleRate, c.channels, 0.1, 0.25, 1.0, 0.05);
}

std::unique_ptr<EffectProcessor> MakePitchScaler(const EffectBuildContext& c) {
    return std::make_unique<PitchScaler>(c.sampleRate, c.channels);
}

std::unique_ptr<EffectProcessor> MakeVibrato(const EffectBuildContext& c) {
    return std::make_unique<Vibrato>(c.sampleRate, c.channels);
}

std::unique_ptr<EffectProcessor> MakeWhisper(const EffectBuildContext& c) {
    return std::make_unique<Whisper>(c.sampleRate, c.channels);
}

// One row per catalogue entry. An entry without an effect of its own builds
// the pass-through object.
const EffectConstructor kConstructors[kEffectCount] = {
    /*  0 Level Tuning           */ PassThrough,
    /*  1 Level Dynamic          */ PassThrough,
    /*  2 DeClick                */ PassThrough,
    /*  3 DeHiss                 */ PassThrough,
    /*  4 DeNoise                */ PassThrough,
    /*  5 DeEss                  */ PassThrough,
    /*  6 DeHum                  */ PassThrough,
    /*  7 GEQ-3                  */ PassThrough,
    /*  8 GEQ-10                 */ PassThrough,
    /*  9 GEQ-15                 */ PassThrough,
    /* 10 GEQ-20                 */ PassThrough,
    /* 11 GEQ-31                 */ PassThrough,
    /* 12 DeVocal Mono           */ PassThrough,
    /* 13 DeVocal Stereo         */ PassThrough,
    /* 14 SampleReverb           */ PassThrough,
    /* 15 ModalReverb            */ PassThrough,
    /* 16 Virtual3D              */ PassThrough,
    /* 17 Resampler              */ MakeResampler,
    /* 18 TempoScaler            */ MakeTempoScaler,
    /* 19 PitchScaler            */ MakePitchScaler,
    /* 20 Vibrato                */ MakeVibrato,
    /* 21 Whisper                */ MakeWhisper,
    /* 22 never offered          */ PassThrough,
};

}  // namespace

const int16_t* EffectBuildContext::Kernel(int32_t resourceId, size_t* valueCount) const {
    size_t count = 0;
    const int16_t* data = kernels ? kernels->Find(resourceId, &count) : nullptr;
    if (valueCount) *valueCount = data ? count : 0;
    return data;
}

EffectConstructor ConstructorFor(int32_t effectId) {
    if (effectId < 1 || effectId > 21) return PassThrough;
    return kConstructors[effectId];
}

std::unique_ptr<EffectProcessor> MakeEffect(int32_t effectId, const EffectBuildContext& context) {
    return ConstructorFor(effectId)(context);
}

void BuildEffect(PluginState& state, int32_t sampleRate, int32_t channels, bool keepParameters) {
    state.currentEffect.reset();
    const EffectBuildContext context{sampleRate, channels, state.kernels, state.ui};
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
