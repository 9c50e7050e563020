// The vocal removers: the centre taken out of a band (mono: as L - R; stereo:
// an estimate of what both sides share). How far the voice goes is the demo
// cases' figure; these hold what must stay.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effects/spatial/de_vocal_mono.h"
#include "effects/spatial/de_vocal_stereo.h"
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

// A voice-like centre: a 220 Hz fundamental with falling harmonics.
std::vector<double> Voice(int32_t frames, double amplitude) {
    std::vector<double> x(frames);
    for (int32_t n = 0; n < frames; ++n) {
        double v = 0.0;
        for (int h = 1; h <= 6; ++h) v += std::sin(2.0 * M_PI * 220.0 * h * n / kRate + 0.3 * h) / h;
        x[n] = amplitude * v;
    }
    return x;
}

// Left = centre + its own noise, right = centre + independent noise.
std::vector<double> Mix(const std::vector<double>& centre, double sideAmplitude) {
    const auto noiseL = test::Noise(static_cast<int32_t>(centre.size()), sideAmplitude, 31);
    const auto noiseR = test::Noise(static_cast<int32_t>(centre.size()), sideAmplitude, 32);
    std::vector<double> x(2 * centre.size());
    for (size_t f = 0; f < centre.size(); ++f) {
        x[2 * f] = centre[f] + noiseL[f];
        x[2 * f + 1] = centre[f] + noiseR[f];
    }
    return x;
}

// How far the centre goes is the demo's figure; with the pan centred the same
// estimate leaves both sides, so their difference (everything that is not
// centre) is untouched.
TEST(DeVocalStereo, WhatIsNotCentreIsKept) {
    DeVocalStereo effect(kRate, 2);
    const auto input = Mix(Voice(2 * 44100, 4000.0), 1500.0);
    const auto output = test::RunBlocks(effect, input, 2, 576);
    ASSERT_GT(output.size(), 2u * (44100 + 32768));
    double worst = 0.0;
    for (size_t f = 0; f < output.size() / 2; ++f)
        worst = std::max(worst, std::abs((output[2 * f] - output[2 * f + 1]) - (input[2 * f] - input[2 * f + 1])));
    EXPECT_LT(worst, 1e-6);
    // A source on one channel alone has no centre: it passes unchanged.
    DeVocalStereo oneSided(kRate, 2);
    std::vector<double> left = test::Noise(2 * 3 * 8192, 6000.0, 3);
    for (size_t i = 1; i < left.size(); i += 2) left[i] = 0.0;
    const auto same = test::RunBlocks(oneSided, left, 2, 576);
    ASSERT_GT(same.size(), left.size() / 2);
    EXPECT_LT(test::MaxDifference(same, left), 1e-6);
}

TEST(DeVocalStereo, ConstructionLowEdgeIsBelowTheKnobDefault) {
    // A centred 125 Hz line: inside the fresh effect's band (from 100 Hz),
    // outside the band of the knob default (from 150 Hz).
    std::vector<double> centre = test::Sine(125.0, kRate, 2 * 44100, 1, 4000.0);
    const auto input = Mix(centre, 1500.0);
    DeVocalStereo fresh(kRate, 2);
    const auto out1 = test::RunBlocks(fresh, input, 2, 576);
    const auto knobbed = test::BuildAtDefaults(EffectId::DeVocalStereo, 2);
    const auto out2 = test::RunBlocks(*knobbed, input, 2, 576);
    // After the latency: 2 s of material, measured over its second half.
    auto level = [](const std::vector<double>& x) { return test::ToneAmplitude(x, 2, 0, 125.0, kRate, 44100, 32768); };
    EXPECT_LT(level(out1), 0.1 * level(input));
    EXPECT_NEAR(level(out2), level(input), 0.01 * level(input));
}

}  // namespace
}  // namespace orve
