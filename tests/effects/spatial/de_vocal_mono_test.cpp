#include "effects/spatial/de_vocal_mono.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr double kRate = 44100.0;

// Centred tones below the band (40 Hz), inside it (1 kHz) and between the
// top the knob defaults give (8.6 kHz) and the fresh effect's (10.3 kHz).
std::vector<double> CentredTones() {
    auto x = test::Sine(1000.0, kRate, 3 * 8192, 2, 5000.0);
    const auto low = test::Sine(40.0, kRate, 3 * 8192, 2, 2000.0, 0.2);
    const auto high = test::Sine(9500.0, kRate, 3 * 8192, 2, 3000.0, 0.4);
    for (size_t i = 0; i < x.size(); ++i) x[i] += low[i] + high[i];
    return x;
}

double Level(const std::vector<double>& y, int c, double frequency) {
    return test::ToneAmplitude(y, 2, c, frequency, kRate, 8192, 8192);
}

TEST(DeVocalMono, TheBandFollowsTheKnobsAndForgetsAWiderOne) {
    const auto input = CentredTones();
    DeVocalMono fresh(kRate, 2);
    const auto out1 = test::RunBlocks(fresh, input, 2, 576);
    DeVocalMono knobbed(kRate, 2);
    const double defaults[] = {200.0, 10000.0, 0.0};
    knobbed.SetParameters(defaults);
    const auto out2 = test::RunBlocks(knobbed, input, 2, 576);
    // The wider band first, then the default: the mask of the wider band must
    // leave no trace below it.
    DeVocalMono narrowed(kRate, 2);
    const double wide[] = {50.0, 12000.0, 0.0};
    narrowed.SetParameters(wide);
    test::RunBlocks(narrowed, input, 2, 576);
    narrowed.SetParameters(defaults);
    const auto out3 = test::RunBlocks(narrowed, input, 2, 576);
    for (int c = 0; c < 2; ++c) {
        for (const auto* out : {&out1, &out2, &out3}) {
            EXPECT_LT(Level(*out, c, 1000.0), 10.0);   // 54 dB down
            EXPECT_NEAR(Level(*out, c, 40.0), 2000.0, 20.0);
        }
        // A fresh effect runs with the wider band until the window passes its knobs.
        EXPECT_LT(Level(out1, c, 9500.0), 10.0);
        EXPECT_NEAR(Level(out2, c, 9500.0), 3000.0, 30.0);
    }
}

// In the band the left becomes ((1 + p) L - (1 - p) R) / 2 and the right its
// opposite: at full pan a source on the left alone stays on the left.
TEST(DeVocalMono, FullPanKeepsALeftOnlySource) {
    auto input = test::Sine(1000.0, kRate, 3 * 8192, 2, 5000.0);
    for (size_t i = 1; i < input.size(); i += 2) input[i] = 0.0;
    DeVocalMono effect(kRate, 2);
    const double values[] = {200.0, 12000.0, 1.0};
    effect.SetParameters(values);
    const auto out = test::RunBlocks(effect, input, 2, 576);
    EXPECT_NEAR(Level(out, 0, 1000.0), 5000.0, 5.0);
    EXPECT_NEAR(Level(out, 1, 1000.0), 5000.0, 5.0);
}

}  // namespace
}  // namespace orve
