#include "plugin/plugin_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"
#include "ui/preset_logic.h"

namespace orve {
namespace {

// Keeps the record in memory, as the registry or the settings file would.
struct MemoryStore : SettingsStore {
    std::vector<uint8_t>* bytes;
    explicit MemoryStore(std::vector<uint8_t>* b) : bytes(b) {}
    bool Read(uint8_t* out, size_t capacity, size_t* got) override {
        *got = std::min(capacity, bytes->size());
        std::memcpy(out, bytes->data(), *got);
        return true;
    }
    bool Write(const uint8_t* in, size_t count) override {
        bytes->assign(in, in + count);
        return true;
    }
};

std::vector<uint8_t> Record(std::initializer_list<std::pair<int, int32_t>> slots) {
    SettingsBlob blob;
    for (auto [slot, value] : slots) blob.slots[slot] = value;
    std::vector<uint8_t> bytes(SettingsBlob::kBytes);
    blob.ToBytes(bytes.data());
    return bytes;
}

// What a load keeps of a stored record: an id the window cannot offer loads
// as Level Tuning at its first row; a short value fills only the leading
// slots; positions off the slider or a knob stand at its ends.
TEST(Settings, LoadingKeepsWhatIsValid) {
    for (int32_t stored : {22, 23, -1, 1000}) {
        auto bytes = Record({{39, stored}, {38, 3}});
        PluginState state(std::make_unique<MemoryStore>(&bytes));
        EXPECT_EQ(state.effectId, EffectId::LevelTuning) << stored;
        EXPECT_EQ(state.presetIndex, 0) << stored;
    }
    auto cut = Record({{0, 7000}, {1, 11}, {2, 22}, {39, 1}});
    cut.resize(8);  // slots 0 and 1 only
    PluginState shortened(std::make_unique<MemoryStore>(&cut));
    EXPECT_EQ(shortened.settingsBlob.slots[0], 7000);
    EXPECT_EQ(shortened.settingsBlob.slots[1], 11);
    EXPECT_EQ(shortened.settingsBlob.slots[2], 0);
    EXPECT_EQ(shortened.effectId, EffectId::LevelTuning);  // slot 39 kept its initial zero

    auto bytes = Record({{0, -20000}, {1, 30000}, {2, 1234}, {37, -1}, {38, 2}, {39, 8}});
    PluginState state(std::make_unique<MemoryStore>(&bytes));
    EXPECT_EQ(state.settingsBlob.slots[2], 1234);
    EXPECT_EQ(state.settingsBlob.slots[0], 0);       // +60 dB, the slider's top, not +300 dB
    EXPECT_EQ(state.settingsBlob.slots[1], 10000);
    EXPECT_EQ(state.settingsBlob.slots[37], 0);
    EXPECT_EQ(state.presetIndex, 2);
    EXPECT_EQ(state.effectId, EffectId::Geq10Bands);
}

TEST(Settings, SaveWritesPositionsOfTheCurrentKnobsAndLeavesTheRest) {
    auto bytes = Record({{39, 0}, {5, 4242}});
    {
        PluginState state(std::make_unique<MemoryStore>(&bytes));
        state.effectId = EffectId::Geq3Bands;
        state.presetIndex = 3;
        state.outputGain = 10.0;  // +20 dB
        state.knobCount = 2;
        state.knobTable[0] = KnobSpec{"A", 0.0, 10.0, 5.0};
        state.knobTable[1] = KnobSpec{"B", 20.0, 0.5, 8.0};  // falls as it turns up
        state.parameterValues[0] = 2.5;
        state.parameterValues[1] = 0.5;
    }
    SettingsBlob saved;
    saved.FromBytes(bytes.data(), bytes.size());
    EXPECT_EQ(saved.slots[39], 7);
    EXPECT_EQ(saved.slots[38], 3);
    EXPECT_EQ(saved.slots[0], 3333);
    EXPECT_EQ(saved.slots[1], 2500);
    EXPECT_EQ(saved.slots[2], 10000);
    EXPECT_EQ(saved.slots[5], 4242);
}

// Values off the slider or the knob stand at the nearer end.
TEST(KnobMapping, ValuesBeyondTheEndsStandAtTheNearerEnd) {
    EXPECT_EQ(GainFactorToPosition(0.0), 10000);
    EXPECT_EQ(GainFactorToPosition(1e6), 0);
    const KnobSpec falling{"Thresh", 0.0, -60.0, -20.0};
    EXPECT_EQ(KnobPositionOf(falling, -20.0), 3333);   // 3333.33, the nearest
    EXPECT_EQ(KnobPositionOf(falling, 5.0), 0);
    EXPECT_EQ(KnobPositionOf(falling, -61.0), 10000);
    EXPECT_EQ(KnobPositionOf(falling, std::nan("")), 0);
}

// What a session does to the record: the window turns the stored positions
// into values when it opens, and the teardown turns the values back into
// positions. Every gain position and every position of every knob of every
// effect must come back unchanged, or settings drift a step per session.
TEST(Settings, EveryGainAndKnobPositionSurvivesSaveAndLoad) {
    std::vector<uint8_t> bytes;
    PluginState state(std::make_unique<MemoryStore>(&bytes));
    SettingsBlob saved;
    int64_t checked = 0;
    for (const EffectEntry& effect : OfferedEffects()) {
        state.effectId = effect.id;
        BuildEffect(state, 44100, 2, false);
        const int32_t stored = std::min(state.knobCount, SettingsBlob::kMaxStoredKnobs);
        for (int32_t p = 0; p <= kKnobPositionMax; ++p) {
            for (int32_t slot = 0; slot <= stored; ++slot) state.settingsBlob.slots[slot] = p;
            ui::ValuesFromStoredPositions(state);
            state.SaveSettings();
            saved.FromBytes(bytes.data(), bytes.size());
            for (int32_t slot = 0; slot <= stored; ++slot, ++checked)
                ASSERT_EQ(saved.slots[slot], p) << effect.Text() << ", slot " << slot;
        }
    }
    EXPECT_GT(checked, 10001 * 100);   // the gain of each effect and every knob were visited
}

// A new selection starts at 0 dB with every knob at its default; a format
// change keeps the values and the gain.
TEST(Factory, SelectionResetsAndAFormatChangeKeepsTheSettings) {
    PluginState state(nullptr);
    for (const EffectEntry& effect : OfferedEffects()) {
        state.effectId = effect.id;
        state.outputGain = 3.0;
        BuildEffect(state, 44100, 2, false);
        ASSERT_TRUE(state.currentEffect) << effect.Text();
        EXPECT_EQ(static_cast<double>(state.outputGain), 1.0);
        for (int32_t k = 0; k < state.knobCount; ++k)
            EXPECT_EQ(state.parameterValues[k], state.knobTable[k].defaultValue) << effect.Text();
        state.parameterValues[0] = state.knobCount ? state.knobTable[0].startValue : 0.0;
        const double kept = state.parameterValues[0];
        state.outputGain = 2.0;
        RebuildForFormat(state, 48000, 1);
        ASSERT_TRUE(state.currentEffect) << effect.Text();
        EXPECT_EQ(state.parameterValues[0], kept);
        EXPECT_EQ(static_cast<double>(state.outputGain), 2.0);
    }
}

}  // namespace
}  // namespace orve
