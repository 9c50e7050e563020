#include "ui/window_actions.h"

#include <algorithm>

#include "plugin/effect_actions.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"
#include "ui/face_drawing.h"
#include "ui/knob_format.h"

namespace orve::ui {
namespace {

int32_t PresetCountOf(const PluginState& state) {
    return state.currentEffect ? state.currentEffect->PresetCount() : 0;
}

}  // namespace

LayoutContent PrepareLayout(PluginState& state) {
    LayoutContent content;
    PluginState::Lock lock(state.processingLock);
    const PresetTable presets = PresetsOf(state.currentEffect.get());
    PrepareOpeningState(state, presets);
    content.effectId = state.effectId;
    content.channels = state.lastChannels;
    content.knobCount = std::min(state.knobCount, kMaxKnobs);
    std::copy(state.knobTable, state.knobTable + content.knobCount, content.knobs);
    content.sliders = PositionsFromValues(state);
    for (int32_t i = 0; i < presets.count; ++i) content.presetNames.emplace_back(presets.rows[i].name);
    content.shownPreset = ShownPresetRow(state.presetIndex, presets.count);
    return content;
}

bool SelectEffect(PluginState& state, int32_t number) {
    const std::optional<EffectId> chosen = OfferedEffect(number);
    PluginState::Lock lock(state.processingLock);
    if (!chosen || *chosen == state.effectId) return false;
    state.effectId = *chosen;
    BuildEffect(state, state.lastSampleRate, state.lastChannels, false);
    BuildFirstWork(state);
    state.windowOpenMode = WindowOpenMode::NewEffect;
    return true;
}

void RestartEffect(PluginState& state) {
    PluginState::Lock lock(state.processingLock);
    if (state.lastSampleRate > 0 && state.lastChannels > 0) {
        BuildEffect(state, state.lastSampleRate, state.lastChannels, false);
        BuildFirstWork(state);
    }
}

bool ChoosePreset(PluginState& state, int32_t row, SliderPositions& sliders) {
    PluginState::Lock lock(state.processingLock);
    return SelectPreset(state, PresetsOf(state.currentEffect.get()), row, sliders);
}

int32_t MoveKnobs(PluginState& state, const int32_t* positions, int32_t count) {
    PluginState::Lock lock(state.processingLock);
    // The window's trackbars were made for the knob table of its last layout;
    // a rebuild after a format change keeps the effect, so the tables agree,
    // but no index beyond the current table is ever used.
    const int32_t n = std::min({count, state.knobCount, kMaxKnobs});
    for (int32_t i = 0; i < n; ++i) {
        const int32_t position = ClampPosition(positions[i]);
        if (i < SettingsBlob::kMaxStoredKnobs) state.settingsBlob.slots[SettingsBlob::kFirstKnobSlot + i] = position;
        state.parameterValues[i] = KnobValueAt(state.knobTable[i], position);
    }
    if (state.currentEffect) state.currentEffect->SetParameters(state.parameterValues);
    return PresetCountOf(state);
}

int32_t MoveGain(PluginState& state, int32_t position) {
    position = ClampPosition(position);
    // The gain is a single word the audio path reads once per block.
    state.outputGain = GainPositionToFactor(position);
    state.settingsBlob.slots[SettingsBlob::kGainSlot] = position;
    PluginState::Lock lock(state.processingLock);
    return PresetCountOf(state);
}

std::string KnobThumbText(PluginState& state, int32_t knob, int32_t position) {
    PluginState::Lock lock(state.processingLock);
    if (knob < 0 || knob >= state.knobCount || !state.currentEffect) return std::string();
    const double value = KnobValueAt(state.knobTable[knob], ClampPosition(position));
    return FormatKnobValue(state.currentEffect->DisplayValue(knob, value));
}

std::string GainThumbText(int32_t position) { return FormatKnobValue(GainPositionToDecibels(position)); }

void SetPassSwitch(PluginState& state, bool passChecked) {
    PluginState::Lock lock(state.processingLock);   // for the stream's channel count
    state.channelMask = PassSwitchMask(passChecked, state.lastChannels);
}

void SetChannelSwitches(PluginState& state, bool left, bool right) {
    state.channelMask = (left ? 1 : 0) | (right ? 2 : 0);
}

bool PressSnapNoise(PluginState& state) {
    PluginState::Lock lock(state.processingLock);
    return state.currentEffect && SnapNoise(*state.currentEffect);
}

}  // namespace orve::ui
