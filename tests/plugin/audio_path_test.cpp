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

// What the path passes through untouched (the sanitizer sweep holds every
// effect and format to that): PASS, and rates, channel counts and widths no
// effect is built for, as a decoder may report them. They are metered (an odd
// width drops the meters) and build nothing but the width's format change;
// back in range, a fresh effect (nothing kept from before the gap) processes.
TEST_F(StateFixture, PassAndFormatsOutsideTheRangeAreMeteredAndBuildNothing) {
    const int32_t reading = MeterReading(1000, 32768);
    const struct {
        int32_t rate, channels, bits, mask;
        bool built;
        int32_t meter;
    } cases[] = {{44100, 2, 16, 0, false, reading}, {1, 2, 16, 3, false, reading},  {7, 2, 16, 3, false, reading},
                 {INT32_MAX, 2, 16, 3, false, reading}, {44100, 0, 16, 3, false, 0}, {44100, 16, 16, 3, false, reading},
                 {44100, 2, 24, 3, true, 0}};
    auto play = [](PluginState& s, int32_t rate, int32_t channels, int32_t bits) {
        std::vector<int16_t> block(2 * 64 * 16, 1000);
        const auto original = block;
        const int32_t got = ModifySamples(s, block.data(), 64, bits, channels, rate);
        return std::make_pair(got, block == original);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rate << " Hz, " << c.channels << " channels, " << c.bits << " bits");
        PluginState fresh(nullptr, nullptr, &ui);
        fresh.effectId = EffectId::Vibrato;
        fresh.channelMask = c.mask;
        fresh.meterLeft = 50;
        EXPECT_EQ(play(fresh, c.rate, c.channels, c.bits), std::make_pair(64, true));
        EXPECT_EQ(static_cast<bool>(fresh.currentEffect), c.built);
        EXPECT_EQ(fresh.meterLeft, c.meter);
    }
    state.effectId = EffectId::Vibrato;
    EXPECT_FALSE(play(state, 44100, 2, 16).second);
    const EffectProcessor* before = state.currentEffect.get();
    EXPECT_EQ(play(state, 7, 2, 16), std::make_pair(64, true));
    EXPECT_FALSE(play(state, 44100, 2, 16).second);
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
    // Mono after stereo: the window lays out its one switch, and it is on.
    state.channelMask = 2;
    std::vector<int16_t> mono = {5, 6, 7};
    EXPECT_EQ(ModifySamples(state, mono.data(), 3, 16, 1, 48000), 3);
    EXPECT_EQ(ui.layouts, std::vector<int32_t>{1});
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
    // Without a window the readings are stored all the same.
    ui.windowOpen = false;
    ui.meters.clear();
    auto loud = Block16({32767, 0});
    ModifySamples(state, loud.data(), 1, 16, 2, 44100);
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
