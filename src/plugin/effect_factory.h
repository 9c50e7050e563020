#pragma once
// Builds the effect object for the current EffectId.
#include <cstdint>
#include <memory>

#include "dsp/effect_processor.h"
#include "plugin/platform_services.h"

namespace orve {

class PluginState;

// What an effect's constructor may draw on besides the stream format.
struct EffectBuildContext {
    int32_t sampleRate;
    int32_t channels;
    KernelSource* kernels;   // may be null: the kernel-based effects then report it
    ErrorSink* errors;       // may be null
    // Locates an embedded impulse-response set; null when it is missing.
    const int16_t* Kernel(int32_t resourceId, size_t* valueCount = nullptr) const;
};

using EffectConstructor = std::unique_ptr<EffectProcessor> (*)(const EffectBuildContext&);

// The constructor for a catalogue entry (the pass-through one outside 1..21).
EffectConstructor ConstructorFor(int32_t effectId);

// Replaces state.currentEffect by a fresh object for state.effectId, fills the
// knob table, and either hands the kept knob values to it (keepParameters) or
// resets gain and knob values to their defaults without calling SetParameters.
// The caller holds processingLock.
void BuildEffect(PluginState& state, int32_t sampleRate, int32_t channels, bool keepParameters);

// The audio path's rebuild after a format change: the same object as
// BuildEffect(state, sampleRate, channels, true) gives, but built without
// holding processingLock and swapped in under it. The window replaces the
// effect and pushes knob values under that lock from its own thread; a rebuild
// that destroyed the effect unlocked could pull it from under a SetParameters
// call, and holding the lock for the whole construction would keep the window
// waiting while a missing kernel set shows its error box. If the window selects
// another effect meanwhile, its build (made for the stored format) stands.
// Call it without holding processingLock.
void RebuildForFormat(PluginState& state, int32_t sampleRate, int32_t channels);

// Builds a standalone effect of a catalogue entry (for inspection and tools).
std::unique_ptr<EffectProcessor> MakeEffect(int32_t effectId, const EffectBuildContext& context);

}  // namespace orve
