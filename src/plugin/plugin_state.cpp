#include "plugin/plugin_state.h"

#include <cmath>

#include "plugin/effect_worker.h"

namespace orve {

void SettingsBlob::ToBytes(uint8_t* bytes) const {
    for (int i = 0; i < kSlots; ++i) {
        const uint32_t v = static_cast<uint32_t>(slots[i]);
        for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<uint8_t>(v >> (8 * b));
    }
}

void SettingsBlob::FromBytes(const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < static_cast<size_t>(kSlots) && 4 * i + 4 <= count; ++i) {
        uint32_t v = 0;
        for (int b = 0; b < 4; ++b) v |= static_cast<uint32_t>(bytes[4 * i + b]) << (8 * b);
        slots[i] = static_cast<int32_t>(v);
    }
}

double GainPositionToDecibels(int32_t position) { return 60.0 - 0.012 * position; }
double DecibelsToFactor(double decibels) { return std::pow(10.0, decibels * 0.05); }
double GainPositionToFactor(int32_t position) { return DecibelsToFactor(GainPositionToDecibels(position)); }
// Rounded to the nearest position, as knob positions are: truncating moved
// 3024 of the 10001 positions one step toward +60 dB at every save. Factor 10
// still saves as 3333 and 1.0 as 5000.
int32_t GainFactorToPosition(double factor) {
    const double position = std::round((60.0 - 20.0 * std::log10(factor)) * 83.33333333333333);
    return ClampPosition(position);
}

int32_t ClampPosition(double position) {
    if (!(position > 0.0)) return 0;   // NaN included
    return position < kKnobPositionMax ? static_cast<int32_t>(position) : kKnobPositionMax;
}

PluginState::PluginState(std::unique_ptr<SettingsStore> storeIn, KernelSource* kernelsIn, HostUi* uiIn)
    : kernels(kernelsIn), ui(uiIn), store(std::move(storeIn)) {
    LoadSettings();
}

PluginState::~PluginState() {
    ReleaseAudio();
    SaveSettings();
}

void PluginState::ReleaseAudio() {
    delete[] blockBuffer;
    blockBuffer = nullptr;
    blockCapacity = 0;
    Lock lock(processingLock);
    currentEffect.reset();
}

void PluginState::LoadSettings() {
    effectId = EffectId::LevelTuning;
    presetIndex = 0;
    windowOpenMode = WindowOpenMode::StoredSetting;
    if (!store) return;
    uint8_t bytes[SettingsBlob::kBytes];
    size_t got = 0;
    if (!store->Read(bytes, sizeof bytes, &got)) return;
    settingsBlob.FromBytes(bytes, got);
    // A slider stands between 0 and 10000 whatever the record says: an edited
    // or damaged gain slot of -20000 would otherwise put the slider at +60 dB
    // and apply +300 dB.
    for (int32_t slot = SettingsBlob::kGainSlot; slot < SettingsBlob::kPresetSlot; ++slot)
        settingsBlob.slots[slot] = ClampPosition(settingsBlob.slots[slot]);
    // An id the window cannot offer is treated as absent.
    if (const std::optional<EffectId> stored = OfferedEffect(settingsBlob.slots[SettingsBlob::kEffectSlot])) {
        effectId = *stored;
        presetIndex = settingsBlob.slots[SettingsBlob::kPresetSlot];
    }
}

void PluginState::SaveSettings() {
    Lock lock(processingLock);
    settingsBlob.slots[SettingsBlob::kEffectSlot] = EffectNumber(effectId);
    settingsBlob.slots[SettingsBlob::kPresetSlot] = presetIndex;
    settingsBlob.slots[SettingsBlob::kGainSlot] = GainFactorToPosition(outputGain);
    const int32_t stored = knobCount < SettingsBlob::kMaxStoredKnobs ? knobCount : SettingsBlob::kMaxStoredKnobs;
    for (int32_t i = 1; i <= stored; ++i)
        settingsBlob.slots[i] = KnobPositionOf(knobTable[i - 1], parameterValues[i - 1]);
    if (!store) return;
    uint8_t bytes[SettingsBlob::kBytes];
    settingsBlob.ToBytes(bytes);
    store->Write(bytes, sizeof bytes);
}

}  // namespace orve
