#include "effects/restoration/de_noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "plugin/effect_actions.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;
// 50 ms frames of 2048 with hops of 512 and 0.2 s of learning: frames 0..18
// are silent; they release the first 16 hops of the stream.
constexpr size_t kLearningValues = 16 * 512;

void SetKnobs(DeNoise& effect, double windowMs, double noiseLen, double thresh) {
    const double values[] = {windowMs, noiseLen, thresh};
    effect.SetParameters(values);
}

using test::LeadingSilence;

// Level of the output's last half against the input's, in dB.
double LaterLevelDb(const std::vector<double>& out, const std::vector<double>& in, int32_t channels, int32_t c) {
    const size_t first = out.size() / 2 + c, count = (out.size() - first) / channels;
    return analysis::Decibels(test::Rms(out, first, channels, count) / test::Rms(in, first, channels, count));
}

// Silent while it learns, then the noise goes, on both channels. Learning
// advances with the last enabled channel, and a stretch spent in PASS (which
// learned nothing) is learned again rather than kept as a profile of zeros,
// which would remove nothing.
TEST(DeNoiseLearning, SilentWhileLearningThenRemovesTheNoise) {
    const auto input = test::Noise(2 * kRate, 3000.0, 1);
    DeNoise effect(kRate, 2), leftOnly(kRate, 2), passFirst(kRate, 2);
    const auto out = test::RunBlocks(effect, input, 2, 576);
    EXPECT_EQ(LeadingSilence(out), 2 * kLearningValues);
    EXPECT_LT(LaterLevelDb(out, input, 2, 0), -20.0);
    EXPECT_LT(LaterLevelDb(out, input, 2, 1), -20.0);
    EXPECT_LT(LaterLevelDb(test::RunBlocks(leftOnly, input, 2, 576, 1), input, 2, 0), -20.0);
    const std::vector<double> first(input.begin(), input.begin() + input.size() / 2),
        second(input.begin() + input.size() / 2, input.end());
    test::RunBlocks(passFirst, first, 2, 576, 0);
    EXPECT_LT(LaterLevelDb(test::RunBlocks(passFirst, second, 2, 576, 3), second, 2, 0), -20.0);
}

TEST(DeNoiseLearning, SnapNoiseRestartsLearningAndKeepsTheStreamInTime) {
    DeNoise effect(kRate, 2), unsnapped(kRate, 2);
    const auto noise = test::Noise(2 * kRate, 1000.0, 11);
    test::RunBlocks(effect, noise, 2, 576);
    test::RunBlocks(unsnapped, noise, 2, 576);
    EffectProcessor& asEffect = effect;
    EXPECT_TRUE(SnapNoise(asEffect));
    const auto out = test::RunBlocks(effect, noise, 2, 576);
    const auto kept = test::RunBlocks(unsnapped, noise, 2, 576);
    // Not a sample is lost: a host that states a latency stays in time.
    EXPECT_EQ(out.size(), kept.size());
    // What was ready plays as it would have; the frames after the snap
    // learn again and are silent once the overlap of the last heard frames
    // has faded (N - hop = 1536 samples).
    for (size_t i = 0; i < 2 * 576; ++i) ASSERT_EQ(out[i], kept[i]) << i;
    for (size_t i = 2 * (2048 + 512); i < 2 * 8192; ++i) ASSERT_EQ(out[i], 0.0) << i;
    EXPECT_LT(LaterLevelDb(out, noise, 2, 0), -20.0);
    EffectProcessor passThrough(6000);
    EXPECT_FALSE(SnapNoise(passThrough));
}

TEST(DeNoiseLearning, WindowChangeOverOneMillisecondRelearns) {
    DeNoise effect(kRate, 1);
    SetKnobs(effect, 50.0, 4.0, 0.5);
    const auto noise = test::Noise(kRate, 1000.0, 9);
    test::RunBlocks(effect, noise, 1, 576, 1);
    // Within 1 ms of the frame in force (also in two steps): no re-framing.
    SetKnobs(effect, 50.9, 6.0, 0.7);
    SetKnobs(effect, 49.1, 6.0, 0.7);
    const auto kept = test::RunBlocks(effect, std::vector<double>(noise.begin(), noise.begin() + 4 * 576), 1, 576, 1);
    EXPECT_EQ(kept.size(), 4u * 576);
    EXPECT_GT(test::Rms(kept), 0.0);
    // Beyond it: re-framed at the next block, silent while learning again.
    SetKnobs(effect, 52.0, 4.0, 0.5);
    const auto relearned = test::RunBlocks(effect, noise, 1, 576, 1);
    EXPECT_GE(LeadingSilence(relearned), 8192u);
    EXPECT_LT(LeadingSilence(relearned), relearned.size());
}

// A host keeps the learned profile with its session. A fresh effect that
// takes it removes the noise at once instead of muting a stretch to learn;
// one framed otherwise learns, and takes the profile when the Window comes
// back to the frame length it was learned at.
TEST(DeNoiseLearning, ATakenProfileReplacesLearningAtItsFrameLength) {
    DeNoise learner(kRate, 2);
    const auto noise = test::Noise(kRate, 1000.0, 3);
    test::RunBlocks(learner, noise, 2, 576);
    std::vector<double> profile(learner.ProfileValues());
    ASSERT_FALSE(profile.empty());
    learner.CopyProfile(profile.data());
    const int32_t count = static_cast<int32_t>(profile.size());

    DeNoise same(kRate, 2);
    ASSERT_TRUE(same.AdoptProfile(profile.data(), count));
    EXPECT_EQ(LeadingSilence(test::RunBlocks(same, noise, 2, 576)), 0u);

    DeNoise other(kRate, 2);
    EXPECT_FALSE(other.AdoptProfile(profile.data(), count - 1));
    SetKnobs(other, 100.0, 4.0, 0.5);
    RunWorkNow(other);
    test::RunBlocks(other, std::vector<double>(2 * 576, 0.0), 2, 576);
    ASSERT_TRUE(other.AdoptProfile(profile.data(), count));
    EXPECT_GE(LeadingSilence(test::RunBlocks(other, noise, 2, 576)), 8192u);
    SetKnobs(other, 50.0, 4.0, 0.5);
    RunWorkNow(other);
    EXPECT_EQ(LeadingSilence(test::RunBlocks(other, noise, 2, 576)), 0u);
}

TEST(DeNoiseRemoval, NegativeDcAndNyquistKeepTheirSign) {
    DeNoise effect(kRate, 1);
    // Learn on faint noise, then add strong components at DC and at Nyquist.
    const int32_t learn = kRate / 2, probe = kRate / 2;
    auto input = test::Noise(learn + probe, 50.0, 7);
    for (int32_t i = learn; i < learn + probe; ++i) input[i] += -3000.0 + (i % 2 ? 2000.0 : -2000.0);
    const auto out = test::RunBlocks(effect, input, 1, 576, 1);
    const size_t first = learn + 4096, count = out.size() - first;
    double dc = 0.0, nyquist = 0.0;
    for (size_t i = first; i < first + count; ++i) {
        dc += out[i] / count;
        nyquist += (i % 2 ? out[i] : -out[i]) / count;
    }
    EXPECT_NEAR(dc, -3000.0, 150.0);
    EXPECT_NEAR(nyquist, 2000.0, 100.0);
}

}  // namespace
}  // namespace orve
