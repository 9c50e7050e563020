#include "effects/distortion/vibrato.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

void SetKnobs(EffectProcessor& effect, double vibF, double delay) {
    const double values[] = {vibF, delay};
    effect.SetParameters(values);
}

TEST(Vibrato, DefaultTables) {
    Vibrato effect(44100, 2);
    EXPECT_EQ(effect.SwingSamples(), 44);
    EXPECT_EQ(effect.LineLength(), 90);
    EXPECT_EQ(effect.PeriodLength(), 5513);
    const double* table = effect.LfoTable();
    EXPECT_DOUBLE_EQ(table[0], 45.0);
    EXPECT_NEAR(table[5512], 45.0, 1e-9);
    double low = 1e9, high = -1e9;
    for (int32_t i = 0; i < 5513; ++i) {
        low = std::min(low, table[i]);
        high = std::max(high, table[i]);
    }
    EXPECT_NEAR(low, 1.0, 1e-5);
    EXPECT_NEAR(high, 89.0, 1e-5);
    // The knob defaults rebuild the same tables.
    SetKnobs(effect, 8.0, -3.0);
    const std::vector<double> input(2 * 10, 0.0);
    test::RunBlocks(effect, input, 2, 10);
    EXPECT_EQ(effect.SwingSamples(), 44);
    EXPECT_EQ(effect.PeriodLength(), 5513);
}

TEST(Vibrato, TenMicrosecondsIsIdentity) {
    Vibrato effect(44100, 2);
    SetKnobs(effect, 5.0, -5.0);
    const auto input = test::Noise(2 * 5000, 10000.0, 2);
    const auto output = test::RunBlocks(effect, input, 2, 441);
    EXPECT_EQ(effect.SwingSamples(), 0);
    EXPECT_EQ(output, input);
}

TEST(Vibrato, BlockSplitDoesNotMatter) {
    const auto input = test::Noise(2 * 12000, 10000.0, 6);
    Vibrato whole(44100, 2), small(44100, 2), mixed(44100, 2);
    const auto reference = test::RunBlocks(whole, input, 2, 12000);
    EXPECT_EQ(test::RunBlocks(small, input, 2, 37), reference);   // shorter than the delay line
    EXPECT_EQ(test::RunBlocks(mixed, input, 2, 1000), reference);
}

TEST(Vibrato, MaskedChannelPassesAndTheOtherIsUnaffected) {
    const auto input = test::Noise(2 * 8000, 10000.0, 7);
    Vibrato both(44100, 2), leftOnly(44100, 2);
    const auto reference = test::RunBlocks(both, input, 2, 576, 3);
    const auto output = test::RunBlocks(leftOnly, input, 2, 576, 1);
    ASSERT_EQ(output.size(), input.size());
    double moved = 0.0;
    for (size_t i = 0; i < output.size(); i += 2) {
        ASSERT_EQ(output[i + 1], input[i + 1]);
        ASSERT_EQ(output[i], reference[i]);
        moved = std::max(moved, std::abs(output[i] - input[i]));
    }
    EXPECT_GT(moved, 100.0);
}

TEST(Vibrato, PitchSwingsAtTheVibratoRate) {
    // A 1 kHz tone through the default 8 Hz, 1 ms vibrato: the delay's slope
    // D * 2 pi / (P - 1) swings the frequency by about +-5 %.
    Vibrato effect(44100, 1);
    const auto input = test::Sine(1000.0, 44100, 44100, 1, 10000.0);
    const auto output = test::RunBlocks(effect, input, 1, 576);
    // Instantaneous frequency from the periods between sub-sample zero crossings.
    std::vector<double> frequency;
    double previous = -1.0;
    for (size_t i = 1; i < output.size(); ++i) {
        if (output[i - 1] < 0.0 && output[i] >= 0.0) {
            const double at = (i - 1) + output[i - 1] / (output[i - 1] - output[i]);
            if (previous >= 0.0) frequency.push_back(44100.0 / (at - previous));
            previous = at;
        }
    }
    ASSERT_GT(frequency.size(), 900u);
    const auto [low, high] = std::minmax_element(frequency.begin() + 10, frequency.end());
    const double swing = 1000.0 * 44 * 2 * M_PI / 5512;
    EXPECT_NEAR(*high - 1000.0, swing, 0.1 * swing);
    EXPECT_NEAR(1000.0 - *low, swing, 0.1 * swing);
    // Rate: upward passes of the frequency through 1 kHz, one per vibrato period.
    int passes = 0;
    for (size_t k = 11; k < frequency.size(); ++k) passes += frequency[k - 1] < 1000.0 && frequency[k] >= 1000.0;
    EXPECT_NEAR(passes, 8, 1);
}

}  // namespace
}  // namespace orve
