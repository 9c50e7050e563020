#include "effects/restoration/de_hiss.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;

TEST(DeHiss, ThreshZeroTendsToUnityGain) {
    DeHiss effect(kRate, 2);
    const double thresh = 0.0;
    effect.SetParameters(&thresh);
    auto input = test::Sine(700.0, kRate, kRate, 2, 5000.0);
    const auto hiss = test::Noise(2 * kRate, 1000.0, 17);
    for (size_t i = 0; i < input.size(); ++i) input[i] += hiss[i];
    const auto out = test::RunBlocks(effect, input, 2, 576);
    ASSERT_GT(out.size(), input.size() / 2);
    // After the first half second the floor has decayed to nothing.
    const size_t first = kRate, count = out.size() - first;
    std::vector<double> difference(count);
    for (size_t i = 0; i < count; ++i) difference[i] = out[first + i] - input[first + i];
    EXPECT_LT(analysis::Decibels(test::Rms(difference) / test::Rms(input, first, 1, count)), -40.0);
}

TEST(DeHiss, NegativeDcKeepsItsSign) {
    DeHiss effect(kRate, 1);
    auto input = test::Noise(kRate / 2, 200.0, 23);
    for (double& v : input) v -= 3000.0;
    const auto out = test::RunBlocks(effect, input, 1, 576, 1);
    double mean = 0.0;
    const size_t first = 8192;
    for (size_t i = first; i < out.size(); ++i) mean += out[i] / (out.size() - first);
    // Slightly lowered like any strong bin, but not folded to +3000.
    EXPECT_NEAR(mean, -3000.0, 450.0);
}

}  // namespace
}  // namespace orve
