#pragma once
// Builds the effect object for the current EffectId.
#include <cstdint>
#include <memory>

#include "dsp/effect_processor.h"
#include "plugin/effect_catalogue.h"

namespace orve {

class PluginState;

// Replaces state.currentEffect by a fresh object for state.effectId, fills the
// knob table, and either hands the kept knob values to it (keepParameters) or
// resets gain and knob values to their defaults without calling SetParameters.
// The caller holds processingLock.
void BuildEffect(PluginState& state, int32_t sampleRate, int32_t channels, bool keepParameters);

// Runs the work a freshly built effect asks for (a reverb's first room) on
// this thread, so that its first block already plays it; the window does so
// after BuildEffect, while orve leaves it to the audio path's first block,
// after its preset and knobs are set, so the room is built once. An effect
// whose build runs out of memory is dropped, as BuildEffect drops it. The
// caller holds processingLock.
void BuildFirstWork(PluginState& state);

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

// Builds a standalone effect of a catalogue entry (for inspection and tools);
// a format outside the operating range gets the pass-through effect.
std::unique_ptr<EffectProcessor> MakeEffect(EffectId id, const EffectBuildContext& context);

}  // namespace orve
