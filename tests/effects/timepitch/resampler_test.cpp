#include "effects/timepitch/resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

void SetRatio(EffectProcessor& effect, double knob) { effect.SetParameters(&knob); }

TEST(Resampler, FirstBlockAtUnityWaitsThenCatchesUp) {
    Resampler effect(44100, 2);
    EXPECT_EQ(effect.ExtraOutput(), 0);
    const auto input = test::Sine(1000.0, 44100, 576 * 20, 2, 10000.0);
    std::vector<double> block(input.begin(), input.begin() + 1152);
    EXPECT_EQ(effect.ProcessBlock(block.data(), block.data(), 1152, 1152, 3), 0);
    const int32_t backlog = effect.ExtraOutput();
    EXPECT_GT(backlog, 0);
    EXPECT_LT(backlog, 1152);
    // The next block is offered its own length plus the backlog, and fills it.
    block.assign(input.begin() + 1152, input.begin() + 2304);
    block.resize(1152 + backlog);
    EXPECT_EQ(effect.ProcessBlock(block.data(), block.data(), 1152, 1152 + backlog, 3), 1152 + backlog);
    EXPECT_EQ(effect.ExtraOutput(), 0);
    // At factor 1 the converted stream is the input from its first value
    // (the converter's low-pass rings briefly at the tone's abrupt onset).
    for (int32_t i = 0; i < 1152 + backlog; ++i) ASSERT_NEAR(block[i], input[i], i < 128 ? 50.0 : 5.0) << i;
}

TEST(Resampler, BlocksOfOneFrameStillConvert) {
    // Below factor 1 a one-frame block owes less than one output frame; the
    // fractions must add up rather than stall the stream.
    Resampler effect(44100, 1);
    SetRatio(effect, -1.5);
    const auto input = test::Sine(300.0, 44100, 4410, 1, 10000.0);
    const auto output = test::RunBlocks(effect, input, 1, 1);
    EXPECT_NEAR(static_cast<double>(output.size()), 4410 * std::pow(2.0, -1.5), 100.0);
}

TEST(Resampler, KnobChangeMidStreamKeepsTheQueues) {
    const auto input = test::Noise(2 * 576 * 40, 8000.0, 12);
    Resampler steady(44100, 2), changed(44100, 2);
    // Below factor 1 the output queue keeps a backlog between returns.
    SetRatio(steady, -0.3);
    SetRatio(changed, -0.3);
    std::vector<double> a, b;
    int32_t backlogAtChange = 0;
    size_t outputBeforeChange = 0;
    std::vector<double> block;
    auto run = [&](Resampler& effect, std::vector<double>& sink, int32_t n) {
        const int32_t T = 1152, extra = effect.ExtraOutput();
        const int32_t capacity = extra > T ? 2 * T : T + extra;
        block.assign(input.begin() + n * T, input.begin() + (n + 1) * T);
        block.resize(capacity);
        RunWorkNow(effect);   // a new factor's converters, as the audio path builds them
        const int32_t got = effect.ProcessBlock(block.data(), block.data(), T, capacity, 3);
        sink.insert(sink.end(), block.begin(), block.begin() + got);
    };
    for (int32_t n = 0; n < 40; ++n) {
        if (n >= 10 && backlogAtChange == 0 && changed.ExtraOutput() > 0) {
            backlogAtChange = changed.ExtraOutput();
            outputBeforeChange = b.size();
            SetRatio(changed, 0.5);
        }
        run(steady, a, n);
        run(changed, b, n);
    }
    ASSERT_GT(backlogAtChange, 0);
    // The values queued before the change come out first, as the unchanged
    // effect delivers them.
    ASSERT_GE(b.size(), outputBeforeChange + backlogAtChange);
    for (int32_t i = 0; i < backlogAtChange; ++i)
        ASSERT_EQ(b[outputBeforeChange + i], a[outputBeforeChange + i]) << i;
    EXPECT_GT(b.size(), a.size() * 7 / 5);   // the new factor took over
}

TEST(Resampler, EveryChannelOfASurroundStreamIsConverted) {
    const int32_t channels = 5;
    Resampler effect(44100, channels);
    SetRatio(effect, 1.0);
    auto input = test::Sine(800.0, 44100, 22050, channels, 1.0);
    for (size_t i = 0; i < input.size(); ++i) input[i] *= 1000.0 * (1 + i % channels);
    const auto output = test::RunBlocks(effect, input, channels, 576, 31);
    const size_t outFrames = output.size() / channels;
    ASSERT_GT(outFrames, 40000u);
    for (int32_t c = 0; c < channels; ++c) {
        EXPECT_NEAR(test::ToneAmplitude(output, channels, c, 400.0, 44100, 2000, outFrames - 4000),
                    1000.0 * (c + 1), 30.0 * (c + 1)) << c;
    }
}

}  // namespace
}  // namespace orve
