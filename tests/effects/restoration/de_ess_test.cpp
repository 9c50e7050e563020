#include "effects/restoration/de_ess.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr double kRate = 44100.0;

TEST(DeEss, LowFrequencyMaterialPassesUnchanged) {
    DeEss effect(kRate, 2);
    auto input = test::Sine(220.0, kRate, 30000, 2, 8000.0);
    const auto second = test::Sine(1300.0, kRate, 30000, 2, 3000.0, 0.7);
    for (size_t i = 0; i < input.size(); ++i) input[i] += second[i];
    const auto output = test::RunBlocks(effect, input, 2, 576);
    ASSERT_GT(output.size(), input.size() / 2);
    EXPECT_LT(test::MaxDifference(output, input), 1e-6);
}

// A steady sibilant tone (all of its power weighted near 1) is scaled by one
// gain that the ratio sets; the ratio is held to its usable range, so values
// beyond it (and one that is not a number) act like its ends.
TEST(DeEss, RatioSetsTheAttenuationWithinItsRange) {
    const auto input = test::Sine(21000.0, kRate, 30000, 1, 8000.0);
    auto gainFor = [&](double ratio) {
        DeEss effect(kRate, 1);
        effect.SetParameters(&ratio);
        const auto output = test::RunBlocks(effect, input, 1, 576, 1);
        return test::ToneAmplitude(output, 1, 0, 21000.0, kRate, 4096, 20000) / 8000.0;
    };
    const double strongest = gainFor(0.99), standard = gainFor(0.5), weakest = gainFor(1e-20);
    EXPECT_LT(strongest, 0.01);
    EXPECT_NEAR(standard, 0.33, 0.01);   // 1 - 0.35 / (0.35 + 0.25 ln 2)
    EXPECT_GT(weakest, 0.95);
    EXPECT_DOUBLE_EQ(gainFor(7.0), strongest);
    for (double below : {0.0, -3.0, std::nan("")}) EXPECT_DOUBLE_EQ(gainFor(below), weakest) << below;
}

}  // namespace
}  // namespace orve
