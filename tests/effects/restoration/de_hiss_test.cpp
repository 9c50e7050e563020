#include "effects/restoration/de_hiss.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Tone plus hiss, stereo, both channels alike.
std::vector<double> ToneInHiss(int32_t frames, double toneAmplitude, double hissAmplitude) {
    auto x = test::Sine(700.0, kRate, frames, 2, toneAmplitude);
    const auto hiss = test::Noise(2 * frames, hissAmplitude, 17);
    for (size_t i = 0; i < x.size(); ++i) x[i] += hiss[i];
    return x;
}

TEST(DeHissGain, ThreshZeroTendsToUnityGain) {
    DeHiss effect(kRate, 2);
    const double thresh = 0.0;
    effect.SetParameters(&thresh);
    const auto input = ToneInHiss(kRate, 5000.0, 1000.0);
    const auto out = test::RunBlocks(effect, input, 2, 576);
    ASSERT_GT(out.size(), input.size() / 2);
    // After the first half second the floor has decayed to nothing.
    const size_t first = kRate, count = out.size() - first;
    std::vector<double> difference(count);
    for (size_t i = 0; i < count; ++i) difference[i] = out[first + i] - input[first + i];
    EXPECT_LT(Db(test::Rms(difference) / test::Rms(input, first, 1, count)), -40.0);
}

TEST(DeHissGain, HissDropsWhileTheToneStays) {
    DeHiss effect(kRate, 2);
    const double thresh = 0.5;
    effect.SetParameters(&thresh);
    // 1 s of tone in hiss, then 0.5 s of hiss alone.
    const int32_t toneFrames = kRate, hissFrames = kRate / 2;
    auto input = ToneInHiss(toneFrames, 8000.0, 500.0);
    const auto hiss = test::Noise(2 * hissFrames, 500.0, 19);
    input.insert(input.end(), hiss.begin(), hiss.end());
    const auto out = test::RunBlocks(effect, input, 2, 576);
    ASSERT_GT(out.size(), 2u * (toneFrames + hissFrames / 2));

    const size_t first = 8192, count = toneFrames - 2 * 8192;
    for (int c = 0; c < 2; ++c) {
        const double before = test::ToneAmplitude(input, 2, c, 700.0, kRate, first, count);
        const double after = test::ToneAmplitude(out, 2, c, 700.0, kRate, first, count);
        // The tone's own bins carry a floor of H / 0.3 too, which costs it a
        // little over a decibel at this setting.
        EXPECT_NEAR(Db(after / before), 0.0, 2.0) << c;
    }
    const size_t quietFirst = 2 * (toneFrames + 4096), quietCount = out.size() - quietFirst;
    EXPECT_LT(Db(test::Rms(out, quietFirst, 1, quietCount) / test::Rms(input, quietFirst, 1, quietCount)), -15.0);
}

TEST(DeHissGain, SilenceStaysSilentWithoutNaN) {
    DeHiss effect(kRate, 2);
    // Silence from the very first frame, then a burst, then silence again.
    std::vector<double> input(2 * kRate / 2, 0.0);
    const auto burst = ToneInHiss(kRate / 4, 4000.0, 1000.0);
    input.insert(input.end(), burst.begin(), burst.end());
    input.resize(input.size() + 2 * kRate / 2, 0.0);
    const auto out = test::RunBlocks(effect, input, 2, 576);
    ASSERT_GT(out.size(), 2u * kRate);
    for (double v : out) ASSERT_TRUE(std::isfinite(v));
    for (size_t i = 0; i < 2 * 20000; ++i) ASSERT_EQ(out[i], 0.0) << i;
    // Once the silence after the burst has filled whole frames it is exact again.
    for (size_t i = 2 * (kRate * 3 / 4 + 4096); i < out.size(); ++i) ASSERT_EQ(out[i], 0.0) << i;
}

TEST(DeHissGain, NegativeDcKeepsItsSign) {
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

TEST(DeHissChannels, DisabledChannelAndItsSpectraAreUntouched) {
    DeHiss effect(kRate, 2);
    const auto input = ToneInHiss(kRate / 2, 3000.0, 1000.0);
    const auto out = test::RunBlocks(effect, input, 2, 576, 1);
    double worstRight = 0.0;
    for (size_t i = 1; i < out.size(); i += 2) worstRight = std::max(worstRight, std::fabs(out[i] - input[i]));
    EXPECT_LT(worstRight, 1e-6);
    const size_t first = 2 * 8192, count = (out.size() - first) / 2;
    EXPECT_LT(Db(test::Rms(out, first, 2, count) / test::Rms(input, first, 2, count)), -3.0);
    for (int32_t k = 0; k < effect.BinCount(); k += 37) {
        EXPECT_EQ(effect.SmoothedMagnitude(1, k), 0.0);
        EXPECT_EQ(effect.FloorEstimate(1, k), 0.0);
        EXPECT_GT(effect.SmoothedMagnitude(0, k), 0.0);
    }
}

TEST(DeHissChannels, AnyChannelCountFromOneToEightRuns) {
    for (int32_t n = 1; n <= 8; ++n) {
        DeHiss effect(kRate, n);
        const auto input = test::Noise(n * 6000, 1000.0, n);
        const auto out = test::RunBlocks(effect, input, n, 576, 0xff);
        EXPECT_GT(out.size(), 0u) << n;
        for (double v : out) ASSERT_TRUE(std::isfinite(v)) << n;
    }
}

}  // namespace
}  // namespace orve
