#include "ui/preset_logic.h"

#include "ui/knob_format.h"

namespace orve::ui {
namespace {

int32_t StoredKnobCount(int32_t knobCount) {
    return knobCount < SettingsBlob::kMaxStoredKnobs ? knobCount : SettingsBlob::kMaxStoredKnobs;
}

void PassValues(PluginState& state) {
    if (state.currentEffect) state.currentEffect->SetParameters(state.parameterValues);
}

}  // namespace

PresetTable PresetsOf(EffectProcessor* effect) {
    PresetTable table;
    if (!effect) return table;
    const EffectPreset* rows = nullptr;
    const int32_t count = effect->GetPresets(&rows);
    if (rows && count > 0) {
        table.rows = rows;
        table.count = count;
    }
    return table;
}

void StoreRowPositions(const EffectPreset& row, const KnobSpec* knobs, int32_t knobCount, SettingsBlob& blob) {
    blob.slots[SettingsBlob::kGainSlot] = PresetGainPosition(row.values[0]);
    for (int32_t i = 0; i < StoredKnobCount(knobCount); ++i)
        blob.slots[SettingsBlob::kFirstKnobSlot + i] = KnobPositionOf(knobs[i], row.values[i + 1]);
}

void ValuesFromStoredPositions(PluginState& state) {
    state.outputGain = GainPositionToFactor(state.settingsBlob.slots[SettingsBlob::kGainSlot]);
    for (int32_t i = 0; i < StoredKnobCount(state.knobCount); ++i)
        state.parameterValues[i] =
            KnobValueAt(state.knobTable[i], state.settingsBlob.slots[SettingsBlob::kFirstKnobSlot + i]);
}

SliderPositions PositionsFromValues(const PluginState& state) {
    SliderPositions sliders;
    sliders.gain = GainFactorToPosition(state.outputGain);
    sliders.knobCount = state.knobCount;
    for (int32_t i = 0; i < state.knobCount && i < kMaxKnobs; ++i)
        sliders.knobs[i] = KnobPositionOf(state.knobTable[i], state.parameterValues[i]);
    return sliders;
}

void PrepareOpeningState(PluginState& state, const PresetTable& presets) {
    switch (state.windowOpenMode) {
        case WindowOpenMode::StoredSetting:
            if (state.presetIndex == 0 && !presets.Empty()) {
                // A stored first row means nothing was customised: the user's own
                // row starts from the table's last row.
                StoreRowPositions(presets.rows[presets.LastRow()], state.knobTable, state.knobCount,
                                  state.settingsBlob);
            } else {
                ValuesFromStoredPositions(state);
                PassValues(state);
            }
            break;
        case WindowOpenMode::NewEffect:
            state.presetIndex = 0;
            if (!presets.Empty())
                StoreRowPositions(presets.rows[presets.LastRow()], state.knobTable, state.knobCount,
                                  state.settingsBlob);
            break;
        case WindowOpenMode::AsItWas: break;
    }
}

bool SelectPreset(PluginState& state, const PresetTable& presets, int32_t index, SliderPositions& sliders) {
    if (presets.Empty() || index < 0 || index >= presets.count) return false;
    state.presetIndex = index;
    sliders.knobCount = state.knobCount;
    if (index == presets.LastRow()) {
        // The user's own row: sliders go back to where the user left them.
        sliders.gain = state.settingsBlob.slots[SettingsBlob::kGainSlot];
        state.outputGain = StoredRowGain(sliders.gain);
        for (int32_t i = 0; i < StoredKnobCount(state.knobCount); ++i) {
            sliders.knobs[i] = state.settingsBlob.slots[SettingsBlob::kFirstKnobSlot + i];
            state.parameterValues[i] = KnobValueAt(state.knobTable[i], sliders.knobs[i]);
        }
    } else {
        const double* values = presets.rows[index].values;
        state.outputGain = DecibelsToFactor(values[0]);
        sliders.gain = PresetGainPosition(values[0]);
        for (int32_t i = 0; i < state.knobCount && i < kMaxKnobs; ++i) {
            state.parameterValues[i] = values[i + 1];
            sliders.knobs[i] = KnobPositionOf(state.knobTable[i], values[i + 1]);
        }
    }
    PassValues(state);
    return true;
}

int32_t PresetAfterManualChange(int32_t presetCount, int32_t selectedRow) {
    if (presetCount <= 0 || selectedRow == presetCount - 1) return -1;
    return presetCount - 1;
}

int32_t ShownPresetRow(int32_t presetIndex, int32_t presetCount) {
    if (presetCount <= 0) return -1;
    // A stored index past the table (a blob from another build, or edited)
    // would leave the list blank, yet the window then restores the stored
    // positions, which is what the last row stands for: show that row.
    return (presetIndex >= 0 && presetIndex < presetCount) ? presetIndex : presetCount - 1;
}

}  // namespace orve::ui
