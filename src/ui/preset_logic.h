#pragma once
// How preset rows, stored slider positions and knob values turn into each
// other when the window opens, when a preset is chosen and when a control
// moves. The last row of every table is the user's own setting (named
// "Custom" in most tables, but not all), whatever its name. The functions that
// take a PluginState expect the caller to hold its processingLock (see
// window_actions.h for the window's locked operations).
#include <cstdint>

#include "dsp/effect_processor.h"
#include "plugin/plugin_state.h"

namespace orve::ui {

struct PresetTable {
    const EffectPreset* rows = nullptr;
    int32_t count = 0;
    bool Empty() const { return rows == nullptr || count <= 0; }
    int32_t LastRow() const { return count - 1; }
};
PresetTable PresetsOf(EffectProcessor* effect);

// Where every slider of the window should stand.
struct SliderPositions {
    int32_t gain = 5000;
    int32_t knobs[kMaxKnobs] = {};
    int32_t knobCount = 0;
};

// Stored positions (gain slot, knob slots) of a preset row.
void StoreRowPositions(const EffectPreset& row, const KnobSpec* knobs, int32_t knobCount, SettingsBlob& blob);
// outputGain and parameterValues from the stored positions.
void ValuesFromStoredPositions(PluginState& state);
// Sliders placed from outputGain and parameterValues, clamped to the range.
SliderPositions PositionsFromValues(const PluginState& state);

// The parameter state when the window is laid out, by state.windowOpenMode:
// StoredSetting restores the user's stored setting, NewEffect starts a fresh
// effect at its first row, AsItWas (reopened with F12) changes nothing. Calls
// SetParameters where the stored values replace the effect's own.
void PrepareOpeningState(PluginState& state, const PresetTable& presets);

// A row chosen in the preset list: the last row brings back the stored
// positions, any other row sets gain and knobs to its values. Updates
// presetIndex, outputGain, parameterValues and the effect; returns where the
// sliders go. Returns false (and changes nothing) without a table or for an
// index outside it.
bool SelectPreset(PluginState& state, const PresetTable& presets, int32_t index, SliderPositions& sliders);

// After the user moved a control: the list switches to the last row unless
// it shows it already. Returns the row to select, or -1 to leave the list.
int32_t PresetAfterManualChange(int32_t presetCount, int32_t selectedRow);

// The row the list shows for a stored preset index (the user's own row when
// the stored index does not fit the table).
int32_t ShownPresetRow(int32_t presetIndex, int32_t presetCount);

}  // namespace orve::ui
