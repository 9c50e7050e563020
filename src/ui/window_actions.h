#pragma once
// What the window does to the plug-in state, one operation per user action.
// Each takes processingLock itself and keeps to the rule stated in
// plugin_state.h: what the window needs to show is copied out of the lock, so
// the caller paints and sends window messages without holding it.
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/effect_processor.h"
#include "plugin/effect_catalogue.h"
#include "plugin/plugin_state.h"
#include "ui/preset_logic.h"

namespace orve::ui {

// Everything a layout of the window shows, taken in one hold of the lock.
struct LayoutContent {
    EffectId effectId = EffectId::LevelTuning;
    int32_t channels = 2;
    int32_t knobCount = 0;
    KnobSpec knobs[kMaxKnobs] = {};
    SliderPositions sliders;
    std::vector<std::string> presetNames;   // empty: no preset list
    int32_t shownPreset = -1;
};

// Opening or re-laying the window: applies the opening rules
// (PrepareOpeningState) and returns what to show.
LayoutContent PrepareLayout(PluginState& state);

// Row `number` chosen in the effect list: builds that effect for the stream's
// format with default knobs. False (nothing changed) for the current effect or
// a number the list does not offer.
bool SelectEffect(PluginState& state, int32_t number);

// Init while blocks may already flow: a fresh object for the stored selection.
void RestartEffect(PluginState& state);

// A row chosen in the preset list (SelectPreset); sliders receives where the
// gain and knob sliders go.
bool ChoosePreset(PluginState& state, int32_t row, SliderPositions& sliders);

// The knob trackbars stand at positions[0..count): stores the positions, sets
// the knob values and hands them to the effect. Returns the effect's preset
// count for the preset list's follow-up.
int32_t MoveKnobs(PluginState& state, const int32_t* positions, int32_t count);

// The gain slider stands at position. Returns the effect's preset count.
int32_t MoveGain(PluginState& state, int32_t position);

// The text on knob `knob`'s thumb at `position`, as the effect displays the
// value; empty when the current effect has no such knob.
std::string KnobThumbText(PluginState& state, int32_t knob, int32_t position);
// The text on the gain slider's thumb.
std::string GainThumbText(int32_t position);

// The channel switches: PASS (checked or not), or L and R.
void SetPassSwitch(PluginState& state, bool passChecked);
void SetChannelSwitches(PluginState& state, bool left, bool right);

// "Snap Noise": true when the current effect is the noise remover.
bool PressSnapNoise(PluginState& state);

}  // namespace orve::ui
