#include "plugin/audio_path.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"
#include "support/test_signals.h"

namespace orve {
namespace {

// Records what the audio path does to the window.
class RecordingUi : public HostUi {
public:
    void ShowError(const char* text) override { errors.emplace_back(text); }
    bool HasMainWindow() const override { return windowOpen; }
    void DrawMeter(int32_t item, int32_t from, int32_t to) override { meters.push_back({item, from, to}); }
    void LayChannelSwitches(int32_t channels) override { layouts.push_back(channels); }

    struct Draw {
        int32_t item, from, to;
    };
    bool windowOpen = true;
    std::vector<std::string> errors;
    std::vector<Draw> meters;
    std::vector<int32_t> layouts;
};

// A plug-in state whose window records what the audio path asks of it; the
// effect is Level Tuning (pass-through) unless a test selects another.
class StateFixture : public ::testing::Test {
protected:
    RecordingUi ui;
    PluginState state{nullptr, nullptr, &ui};

    std::vector<int16_t> Block16(std::initializer_list<int16_t> values) { return std::vector<int16_t>(values); }
};

TEST_F(StateFixture, PassModeLeavesTheBlockAloneAndMetersTheInput) {
    state.channelMask = 0;
    auto block = Block16({1000, -2000, 30000, 4});
    const auto original = block;
    EXPECT_EQ(ModifySamples(state, block.data(), 2, 16, 2, 44100), 2);
    EXPECT_EQ(block, original);
    EXPECT_FALSE(state.currentEffect);  // no rebuild in PASS
    EXPECT_EQ(state.meterLeft, MeterReading(30000, 32768));
    EXPECT_EQ(state.meterRight, MeterReading(2000, 32768));
}

// Emits NaN and infinities, as a broken filter might.
class NonFinite : public EffectProcessor {
public:
    NonFinite() : EffectProcessor(0) {}
    int32_t ProcessBlock(const double*, double* out, int32_t, int32_t outCapacity, int32_t) override {
        const double values[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, -std::nan("")};
        for (int32_t i = 0; i < outCapacity; ++i) out[i] = values[i % 4];
        return outCapacity;
    }
};

TEST_F(StateFixture, NonFiniteOutputBecomesSilenceOrFullScale) {
    auto block = Block16({1, 2, 3, 4});
    ModifySamples(state, block.data(), 2, 16, 2, 44100);  // builds the format first
    state.currentEffect = std::make_unique<NonFinite>();
    EXPECT_EQ(ModifySamples(state, block.data(), 2, 16, 2, 44100), 2);
    EXPECT_EQ(block, Block16({0, 32767, -32768, 0}));
    EXPECT_EQ(state.nonFiniteSamples, 4);
}

// Rates and channel counts no effect is built for, as a decoder may report
// them: untouched and metered, nothing built; back in range, a fresh effect
// (nothing kept from before the gap) processes again.
TEST_F(StateFixture, FormatsOutsideTheRangePassThroughUntilTheStreamReturns) {
    state.effectId = EffectId::Vibrato;
    state.outputGain = 0.5;
    auto play = [&](int32_t rate, int32_t channels) {
        std::vector<int16_t> block(2 * 64 * channels, 1000);
        const auto original = block;
        const int32_t got = ModifySamples(state, block.data(), 64, 16, channels, rate);
        return std::make_pair(got, block == original);
    };
    const struct {
        int32_t rate, channels;
    } outside[] = {{1, 2}, {7, 2}, {INT32_MAX, 2}, {44100, 0}, {44100, 16}};
    for (const auto& f : outside) {
        EXPECT_EQ(play(f.rate, f.channels), std::make_pair(64, true)) << f.rate << " Hz, " << f.channels;
        EXPECT_FALSE(state.currentEffect);
        EXPECT_EQ(state.meterLeft, f.channels ? MeterReading(1000, 32768) : 0);
    }
    EXPECT_FALSE(play(44100, 2).second);
    const EffectProcessor* before = state.currentEffect.get();
    EXPECT_TRUE(before);
    EXPECT_EQ(play(7, 2), std::make_pair(64, true));
    EXPECT_FALSE(play(44100, 2).second);
    EXPECT_NE(state.currentEffect.get(), before);
    EXPECT_EQ(state.lastSampleRate, 44100);
    EXPECT_EQ(state.nonFiniteSamples, 0);
}

TEST_F(StateFixture, ConversionRoundsToTheNearestStep) {
    state.outputGain = 0.75;
    auto block = Block16({3, -3, 1, -1});
    ModifySamples(state, block.data(), 2, 16, 2, 44100);
    EXPECT_EQ(block, Block16({2, -2, 1, -1}));
}

TEST_F(StateFixture, UnsupportedWidthPassesThroughAndDropsTheMeters) {
    state.outputGain = 2.0;
    state.meterLeft = 50;
    std::vector<uint8_t> block = {1, 2, 3, 4, 5, 6};
    const auto original = block;
    EXPECT_EQ(ModifySamples(state, block.data(), 1, 24, 2, 44100), 1);
    EXPECT_EQ(block, original);
    EXPECT_TRUE(state.currentEffect);  // the format change still rebuilds
    EXPECT_EQ(state.meterLeft, 0);
}

TEST_F(StateFixture, SampleRateChangeRebuildsAndKeepsKnobsAndSwitches) {
    // The ten-band equaliser with every band cut by 18 dB: the rebuilt object
    // must be handed the kept values, or it would play at its flat defaults.
    state.effectId = EffectId::Geq10Bands;
    BuildEffect(state, 44100, 2, false);
    for (int32_t k = 0; k < state.knobCount; ++k) state.parameterValues[k] = -18.0;
    state.currentEffect->SetParameters(state.parameterValues);
    const EffectProcessor* before = state.currentEffect.get();
    state.outputGain = 0.5;

    const auto tone = test::Sine(1000.0, 48000, 4800, 2, 8000.0);
    std::vector<int16_t> block(tone.begin(), tone.end());
    ASSERT_EQ(ModifySamples(state, block.data(), 4800, 16, 2, 48000), 4800);
    EXPECT_NE(state.currentEffect.get(), before);
    EXPECT_EQ(state.lastSampleRate, 48000);
    EXPECT_EQ(state.parameterValues[0], -18.0);
    EXPECT_EQ(static_cast<double>(state.outputGain), 0.5);
    EXPECT_TRUE(ui.layouts.empty());
    EXPECT_EQ(state.channelMask, 3);
    // Gain 0.5 alone would leave 4000 peak; the kept cut brings it far lower.
    const std::vector<double> out(block.begin(), block.end());
    EXPECT_LT(test::Rms(out, 2 * 2400), 0.25 * 0.5 * test::Rms(tone, 2 * 2400));
}

TEST_F(StateFixture, MonoAfterStereoSwitchesToPassLayoutWithMaskOne) {
    auto stereo = Block16({1, 2, 3, 4});
    ModifySamples(state, stereo.data(), 2, 16, 2, 44100);
    state.channelMask = 2;
    auto mono = Block16({5, 6, 7});
    EXPECT_EQ(ModifySamples(state, mono.data(), 3, 16, 1, 44100), 3);
    ASSERT_EQ(ui.layouts.size(), 1u);
    EXPECT_EQ(ui.layouts[0], 1);
    EXPECT_EQ(state.channelMask, 1);
    EXPECT_EQ(state.lastChannels, 1);
}

TEST_F(StateFixture, MetersDrawFromTheOldToTheNewReading) {
    auto block = Block16({16384, 3277, 0, 0});
    ModifySamples(state, block.data(), 2, 16, 2, 44100);
    ASSERT_EQ(ui.meters.size(), 2u);
    EXPECT_EQ(ui.meters[0].item, kItemMeterLeft);
    EXPECT_EQ(ui.meters[0].from, 0);
    EXPECT_EQ(ui.meters[0].to, 93);  // -6.02 dB
    EXPECT_EQ(ui.meters[1].item, kItemMeterRight);
    EXPECT_EQ(ui.meters[1].to, 80);  // -20 dB
    ui.meters.clear();
    state.meterResetRequest = 1;
    ModifySamples(state, block.data(), 2, 16, 2, 44100);
    EXPECT_EQ(ui.meters[0].from, 0);  // the timer's request restarts from the bottom
    EXPECT_EQ(state.meterResetRequest, 0);
}

TEST_F(StateFixture, NoWindowStillStoresReadings) {
    ui.windowOpen = false;
    auto block = Block16({32767, 0});
    ModifySamples(state, block.data(), 1, 16, 2, 44100);
    EXPECT_TRUE(ui.meters.empty());
    EXPECT_EQ(state.meterLeft, 99);
}

// An effect that emits more than it takes, as the tempo and resampling effects do.
class Doubler : public EffectProcessor {
public:
    Doubler() : EffectProcessor(0) {}
    int32_t ExtraOutput() override { return 1 << 20; }
    int32_t ProcessBlock(const double* in, double* out, int32_t inCount, int32_t outCapacity, int32_t) override {
        EXPECT_EQ(outCapacity, 2 * inCount);
        for (int32_t i = inCount - 1; i >= 0; --i) out[2 * i] = out[2 * i + 1] = in[i];
        return outCapacity;
    }
};

TEST_F(StateFixture, LengtheningEffectsMayReturnMoreFramesThanGiven) {
    auto block = Block16({1, 2, 3, 4});
    ModifySamples(state, block.data(), 2, 16, 2, 44100);  // builds the format first
    state.currentEffect = std::make_unique<Doubler>();
    std::vector<int16_t> host = {10, 20, 30, 40, 0, 0, 0, 0};
    EXPECT_EQ(ModifySamples(state, host.data(), 2, 16, 2, 44100), 4);
    EXPECT_EQ(host, Block16({10, 10, 20, 20, 30, 30, 40, 40}));
}

}  // namespace
}  // namespace orve
