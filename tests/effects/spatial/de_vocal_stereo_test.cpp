#include "effects/spatial/de_vocal_stereo.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr double kRate = 44100.0;

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

double Harmonic(const std::vector<double>& x, int c, double f) {
    // After the latency: 2 s of material, measured over its second half.
    return test::ToneAmplitude(x, 2, c, f, kRate, 44100, 32768);
}

TEST(DeVocalStereo, OneChannelSourcePassesUnchanged) {
    DeVocalStereo effect(kRate, 2);
    const auto mono = test::Noise(3 * 8192, 6000.0, 3);
    std::vector<double> input(2 * mono.size(), 0.0);
    for (size_t f = 0; f < mono.size(); ++f) input[2 * f] = mono[f];
    const auto output = test::RunBlocks(effect, input, 2, 576);
    ASSERT_GT(output.size(), input.size() / 2);
    EXPECT_LT(test::MaxDifference(output, input), 1e-6);
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
}

TEST(DeVocalStereo, ConstructionLowEdgeIsBelowTheKnobDefault) {
    // A centred 125 Hz line: inside the fresh effect's band (from 100 Hz),
    // outside the band of the knob default (from 150 Hz).
    std::vector<double> centre = test::Sine(125.0, kRate, 2 * 44100, 1, 4000.0);
    const auto input = Mix(centre, 1500.0);
    DeVocalStereo fresh(kRate, 2);
    const auto out1 = test::RunBlocks(fresh, input, 2, 576);
    DeVocalStereo knobbed(kRate, 2);
    KnobSpec knobs[4];
    ASSERT_EQ(knobbed.DescribeKnobs(knobs), 4);
    const double defaults[] = {knobs[0].defaultValue, knobs[1].defaultValue, knobs[2].defaultValue,
                               knobs[3].defaultValue};
    knobbed.SetParameters(defaults);
    const auto out2 = test::RunBlocks(knobbed, input, 2, 576);
    const double before = Harmonic(input, 0, 125.0);
    EXPECT_LT(Harmonic(out1, 0, 125.0), 0.1 * before);
    EXPECT_NEAR(Harmonic(out2, 0, 125.0), before, 0.01 * before);
}

}  // namespace
}  // namespace orve
