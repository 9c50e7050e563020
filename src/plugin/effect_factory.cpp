#include "plugin/effect_factory.h"

#include <mutex>
#include <new>

#include "effects/equaliser/graphic_eq.h"
#include "effects/spatial/modal_reverb.h"
#include "effects/spatial/sample_reverb.h"
#include "effects/spatial/virtual_3d.h"
#include "effects/restoration/de_click.h"
#include "effects/restoration/de_ess.h"
#include "effects/restoration/de_hiss.h"
#include "effects/restoration/de_hum.h"
#include "effects/restoration/de_noise.h"
#include "effects/spatial/de_vocal_mono.h"
#include "effects/spatial/de_vocal_stereo.h"
#include "effects/level/level_dynamic.h"
#include "effects/timepitch/pitch_scaler.h"
#include "effects/timepitch/resampler.h"
#include "effects/timepitch/tempo_scaler.h"
#include "effects/distortion/vibrato.h"
#include "effects/distortion/whisper.h"
#include "plugin/effect_catalogue.h"
#include "plugin/plugin_state.h"

namespace orve {
namespace {

std::unique_ptr<EffectProcessor> PassThrough(const EffectBuildContext&) {
    return std::make_unique<EffectProcessor>(6000);
}

std::unique_ptr<EffectProcessor> MakeDeEss(const EffectBuildContext& c) {
    return std::make_unique<DeEss>(c.sampleRate, c.channels);
}

std::unique_ptr<EffectProcessor> MakeDeHum(const EffectBuildContext& c) {
    return std::make_unique<DeHum>(c.sampleRate, c.channels);
}

// The de-vocal effects are built for two channels whatever the stream has.
std::unique_ptr<EffectProcessor> MakeDeVocalMono(const EffectBuildContext& c) {
    return std::make_unique<DeVocalMono>(c.sampleRate);
}

std::unique_ptr<EffectProcessor> MakeDeVocalStereo(const EffectBuildContext& c) {
    return std::make_unique<DeVocalStereo>(c.sampleRate);
}

template <int32_t Bands>
std::unique_ptr<EffectProcessor> MakeGraphicEq(const EffectBuildContext& c) {
    return std::make_unique<GraphicEq>(c.sampleRate, c.channels, GeqLayoutFor(Bands));
}

std::unique_ptr<EffectProcessor> MakeModalReverb(const EffectBuildContext& c) {
    return std::make_unique<ModalReverb>(c.sampleRate, c.channels, ModalReverb::BaseRoom(), 0.33, 0.33, 0.33, 2.0,
                                         0.85, 0.0, 0.13);
}

// A set that is absent, or too short for its layout, reaches the effect as
// missing: the effect reports it and stays silent instead of reading past it.
std::unique_ptr<EffectProcessor> MakeSampleReverb(const EffectBuildContext& c) {
    size_t count = 0;
    const int16_t* rooms = c.Kernel(142, &count);
    if (rooms && !RoomSetFits(rooms, count)) rooms = nullptr;
    return std::make_unique<SampleReverb>(c.sampleRate, c.channels, rooms, 1, c.errors);
}

std::unique_ptr<EffectProcessor> MakeVirtual3D(const EffectBuildContext& c) {
    size_t count = 0;
    const int16_t* responses = c.Kernel(121, &count);
    if (count < static_cast<size_t>(kHrirValues)) responses = nullptr;
    return std::make_unique<Virtual3D>(c.sampleRate, responses, 0.0, 0.0, c.errors, c.channels);
}

std::unique_ptr<EffectProcessor> MakeLevelDynamic(const EffectBuildContext& c) {
    return std::make_unique<LevelDynamic>(c.sampleRate, c.channels);
}
std::unique_ptr<EffectProcessor> MakeDeClick(const EffectBuildContext& c) {
    return std::make_unique<DeClick>(c.sampleRate, c.channels);
}
std::unique_ptr<EffectProcessor> MakeDeHiss(const EffectBuildContext& c) {
    return std::make_unique<DeHiss>(c.sampleRate, c.channels);
}
std::unique_ptr<EffectProcessor> MakeDeNoise(const EffectBuildContext& c) {
    return std::make_unique<DeNoise>(c.sampleRate, c.channels);
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
    /*  1 Level Dynamic          */ MakeLevelDynamic,
    /*  2 DeClick                */ MakeDeClick,
    /*  3 DeHiss                 */ MakeDeHiss,
    /*  4 DeNoise                */ MakeDeNoise,
    /*  5 DeEss                  */ MakeDeEss,
    /*  6 DeHum                  */ MakeDeHum,
    /*  7 GEQ-3                  */ MakeGraphicEq<3>,
    /*  8 GEQ-10                 */ MakeGraphicEq<10>,
    /*  9 GEQ-15                 */ MakeGraphicEq<15>,
    /* 10 GEQ-20                 */ MakeGraphicEq<20>,
    /* 11 GEQ-31                 */ MakeGraphicEq<31>,
    /* 12 DeVocal Mono           */ MakeDeVocalMono,
    /* 13 DeVocal Stereo         */ MakeDeVocalStereo,
    /* 14 SampleReverb           */ MakeSampleReverb,
    /* 15 ModalReverb            */ MakeModalReverb,
    /* 16 Virtual3D              */ MakeVirtual3D,
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

namespace orve {

void RebuildForFormat(PluginState& state, int32_t sampleRate, int32_t channels) {
    int32_t id;
    {
        PluginState::Lock lock(state.processingLock);
        id = state.effectId;
    }
    const EffectBuildContext context{sampleRate, channels, state.kernels, state.ui};
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
