// The short-time spectral framework and the effects that are little more than
// a gain per bin on it: DeHiss, DeEss, Whisper. What each does to its own
// programme is held to figures by the demo cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/spectral_effect.h"
#include "effects/distortion/whisper.h"
#include "effects/restoration/de_ess.h"
#include "effects/restoration/de_hiss.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;

TEST(SpectralEffect, WindowedIdentityReproducesInputAfterLatency) {
    SpectralEffect effect(44100, 0.05, 0.25, 2, 5000, kWindowed);
    EXPECT_EQ(effect.FrameLength(), 2048);
    EXPECT_EQ(effect.Hop(), 512);
    const auto input = test::Noise(2 * 44100, 10000.0, 7);
    const int32_t blockFrames = 576;
    const auto output = test::RunBlocks(effect, input, 2, blockFrames);
    // The stream lags the input by N - H = 1536 samples, plus at most the hop
    // held back and the block that was not yet complete.
    const size_t lag = (input.size() - output.size()) / 2;
    EXPECT_GE(lag, 1536u);
    EXPECT_LT(lag, static_cast<size_t>(1536 + 512 + blockFrames));
    // Spectral effects return either nothing or a whole block; what comes out
    // is the input from its first sample on.
    EXPECT_LT(test::MaxDifference(output, input), 1e-6);
}

TEST(SpectralEffect, TinyTargetsGiveTheShortestFrame) {
    EXPECT_EQ(ChooseFrameLength(1, 2), 2);
    EXPECT_EQ(ChooseFrameLength(2, 2), 2);
    SpectralEffect effect(44100, 0.05, 0.5, 1, 5000, kWindowed);
    effect.SetFrameSeconds(0.00001);
    EXPECT_EQ(effect.FrameLength(), 2);
    EXPECT_EQ(effect.Hop(), 1);
}

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
    EXPECT_TRUE(strongest < standard && standard < weakest) << standard;
    EXPECT_GT(weakest, 0.95);
    EXPECT_DOUBLE_EQ(gainFor(7.0), strongest);
    for (double below : {0.0, -3.0, std::nan("")}) EXPECT_DOUBLE_EQ(gainFor(below), weakest) << below;
}

class WhisperProbe : public Whisper {
public:
    using Whisper::Whisper;
    using SpectralEffect::FramePlane;
};

TEST(Whisper, WetKeepsEachFramesMagnitudesAndRandomisesPhases) {
    WhisperProbe effect(44100, 1);
    const int32_t N = effect.FrameLength(), M = N / 2;
    const auto tone = test::Sine(1000.0, 44100, N, 1, 10000.0);
    std::copy(tone.begin(), tone.end(), effect.FramePlane(0));
    const auto before = test::Spectrum(effect.FramePlane(0), N);
    effect.ProcessChannels(1);
    const auto after = test::Spectrum(effect.FramePlane(0), N);
    EXPECT_NEAR(after[0], before[0], 1e-6);
    EXPECT_NEAR(after[N - 1], before[N - 1], 1e-6);
    double phaseMoved = 0.0;
    for (int32_t k = 1; k < M; ++k) {
        const double a = test::BinMagnitude(before, k);
        const double b = test::BinMagnitude(after, k);
        ASSERT_NEAR(b, a, 1e-9 * (1.0 + a)) << k;
        phaseMoved = std::max(phaseMoved, std::abs(after[2 * k] - before[2 * k]));
    }
    EXPECT_GT(phaseMoved, 1000.0);
}

TEST(Whisper, ASilentFrameDrawsItsNumbers) {
    const int32_t N = 384;
    const auto tone = test::Sine(1000.0, 44100, N, 1, 10000.0);
    WhisperProbe drew(44100, 1), fresh(44100, 1);
    std::fill(drew.FramePlane(0), drew.FramePlane(0) + N, 0.0);
    drew.ProcessChannels(1);   // silent it stays (every_effect_test.cpp)
    // A frame after the silent one gets other phases than the same frame first.
    std::copy(tone.begin(), tone.end(), drew.FramePlane(0));
    std::copy(tone.begin(), tone.end(), fresh.FramePlane(0));
    drew.ProcessChannels(1);
    fresh.ProcessChannels(1);
    double difference = 0.0;
    for (int32_t i = 0; i < N; ++i) difference = std::max(difference, std::abs(drew.FramePlane(0)[i] - fresh.FramePlane(0)[i]));
    EXPECT_GT(difference, 100.0);
}

}  // namespace
}  // namespace orve
