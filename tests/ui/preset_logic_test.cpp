#include "ui/preset_logic.h"

#include <gtest/gtest.h>

#include <cmath>

#include "plugin/effect_factory.h"

namespace orve::ui {
namespace {

// Two knobs, one of them falling, and a few rows: the last one is the user's
// own whatever its name.
const KnobSpec kKnobs[2] = {{"Thresh", 0.0, -60.0, -20.0}, {"Ratio", 1.0, 11.0, 2.0}};
const double kLoud[] = {6.0, -30.0, 4.0};
const double kSoft[] = {-3.0, -6.0, 1.5};
const double kSpeech[] = {0.0, -12.0, 3.0};
const EffectPreset kDynamicsTable[] = {{"Loud", kLoud}, {"Soft", kSoft}, {"Speech", kSpeech}};

// Records what the window passes to the effect.
class RecordingEffect : public EffectProcessor {
public:
    RecordingEffect() : EffectProcessor(16) { ServeTables(kKnobs, kDynamicsTable); }
    void SetParameters(const double*) override { ++calls; }
    int calls = 0;
};

struct Fixture {
    PluginState state{nullptr};
    RecordingEffect* effect;
    Fixture() {
        auto owned = std::make_unique<RecordingEffect>();
        effect = owned.get();
        state.currentEffect = std::move(owned);
        state.knobCount = effect->DescribeKnobs(state.knobTable);
        state.parameterValues[0] = -20.0;
        state.parameterValues[1] = 2.0;
    }
};

// The catalogue's own tables: Level Dynamic ends in "Speech", the sample
// reverb in "Studio      "; choosing that row restores the stored positions
// and the gain the slider shows there (so that it saves back to the same
// position), choosing the first moves every knob to the row's values.
TEST(PresetLogicTest, LevelDynamicAndSampleReverbKeepTheUsersSettingInTheirLastRow) {
    const struct { EffectId id; const char* lastName; } effects[] = {{EffectId::LevelDynamic, "Speech"},
                                                                     {EffectId::SampleReverb, "Studio      "}};
    for (const auto& e : effects) {
        PluginState state{nullptr};
        state.effectId = e.id;
        BuildEffect(state, 44100, 2, false);
        const PresetTable table = PresetsOf(state.currentEffect.get());
        ASSERT_FALSE(table.Empty()) << EffectText(e.id);
        EXPECT_STREQ(table.rows[table.LastRow()].name, e.lastName);
        for (int32_t i = 0; i <= state.knobCount; ++i) state.settingsBlob.slots[i] = 999 + 100 * i;
        SliderPositions sliders;
        ASSERT_TRUE(SelectPreset(state, table, table.LastRow(), sliders));
        EXPECT_EQ(sliders.gain, 999) << EffectText(e.id);
        EXPECT_EQ(GainFactorToPosition(state.outputGain), 999);
        for (int32_t i = 0; i < state.knobCount; ++i) {
            EXPECT_EQ(sliders.knobs[i], 1099 + 100 * i) << EffectText(e.id) << " knob " << i;
            EXPECT_DOUBLE_EQ(state.parameterValues[i], KnobValueAt(state.knobTable[i], 1099 + 100 * i));
        }
        ASSERT_TRUE(SelectPreset(state, table, 0, sliders));
        EXPECT_EQ(state.presetIndex, 0);
        EXPECT_DOUBLE_EQ(state.outputGain, DecibelsToFactor(table.rows[0].values[0]));
        for (int32_t i = 0; i < state.knobCount; ++i) {
            EXPECT_DOUBLE_EQ(state.parameterValues[i], table.rows[0].values[i + 1]) << EffectText(e.id) << " knob " << i;
            EXPECT_EQ(sliders.knobs[i], KnobPositionOf(state.knobTable[i], table.rows[0].values[i + 1]));
        }
    }
}

TEST(PresetLogicTest, IndexOutsideTheTableChangesNothing) {
    Fixture f;
    SliderPositions sliders;
    EXPECT_FALSE(SelectPreset(f.state, PresetTable{kDynamicsTable, 3}, 3, sliders));
    EXPECT_FALSE(SelectPreset(f.state, PresetTable{}, 0, sliders));
    EXPECT_EQ(f.effect->calls, 0);
    EXPECT_EQ(f.state.presetIndex, 0);
}

// Opening the window: after an effect change the last row is stored and the
// fresh effect keeps its defaults; an ordinary opening restores the stored
// positions; reopened with F12, nothing moves.
TEST(PresetLogicTest, OpeningFollowsHowTheWindowWasOpened) {
    Fixture f;
    f.state.windowOpenMode = WindowOpenMode::NewEffect;
    f.state.presetIndex = 1;
    PrepareOpeningState(f.state, PresetTable{kDynamicsTable, 3});
    EXPECT_EQ(f.state.presetIndex, 0);
    EXPECT_EQ(f.state.settingsBlob.slots[0], 5000);   // "Speech": 0 dB
    EXPECT_EQ(f.state.settingsBlob.slots[1], 2000);   // -12 on 0..-60
    EXPECT_EQ(f.state.settingsBlob.slots[2], 2000);   // 3 on 1..11
    EXPECT_EQ(f.effect->calls, 0);

    Fixture g;
    g.state.windowOpenMode = WindowOpenMode::StoredSetting;
    g.state.presetIndex = 2;
    g.state.settingsBlob.slots[0] = 3333;
    g.state.settingsBlob.slots[1] = 5000;
    g.state.settingsBlob.slots[2] = 0;
    PrepareOpeningState(g.state, PresetTable{kDynamicsTable, 3});
    EXPECT_DOUBLE_EQ(g.state.outputGain, GainPositionToFactor(3333));   // 20.004 dB
    EXPECT_DOUBLE_EQ(g.state.parameterValues[0], -30.0);
    EXPECT_DOUBLE_EQ(g.state.parameterValues[1], 1.0);
    EXPECT_EQ(g.effect->calls, 1);
    const SliderPositions sliders = PositionsFromValues(g.state);
    EXPECT_EQ(sliders.gain, GainFactorToPosition(GainPositionToFactor(3333)));
    EXPECT_EQ(sliders.knobs[0], 5000);
    EXPECT_EQ(sliders.knobs[1], 0);

    Fixture h;
    h.state.windowOpenMode = WindowOpenMode::AsItWas;
    h.state.settingsBlob.slots[1] = 7777;
    PrepareOpeningState(h.state, PresetTable{kDynamicsTable, 3});
    EXPECT_EQ(h.state.settingsBlob.slots[1], 7777);
    EXPECT_EQ(h.effect->calls, 0);
}

}  // namespace
}  // namespace orve::ui
