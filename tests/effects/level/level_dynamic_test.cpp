#include "effects/level/level_dynamic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;

void SetKnobs(LevelDynamic& effect, double threshDb, double attackMs, double releaseMs, double ratio) {
    const double values[] = {threshDb, attackMs, releaseMs, ratio};
    effect.SetParameters(values);
}

// A square wave of constant magnitude: its RMS over any window is exactly its
// amplitude, so the detector level is known sample by sample.
std::vector<double> Square(int32_t frames, int32_t channels, double amplitude) {
    std::vector<double> x(static_cast<size_t>(frames) * channels);
    for (int32_t f = 0; f < frames; ++f)
        for (int32_t c = 0; c < channels; ++c) x[static_cast<size_t>(f) * channels + c] = (f / 50) % 2 ? -amplitude : amplitude;
    return x;
}

// The engine drops the frame latency, so output sample j is input sample j:
// a level up to the threshold passes bit for bit. (How far a louder one is
// squeezed is the demo case's figure.)
TEST(LevelDynamicLevels, LevelExactlyAtThresholdIsNotAttenuated) {
    // 0 dB makes the linear threshold exactly 1.0, and a full-scale square wave
    // gives a detector level of exactly 1.0.
    LevelDynamic atThreshold(kRate, 1);
    SetKnobs(atThreshold, 0.0, 1.0, 100.0, 10.0);
    const auto input = Square(kRate / 4, 1, 32768.0);
    const auto out = test::RunBlocks(atThreshold, input, 1, 576, 1);
    ASSERT_GT(out.size(), input.size() / 2);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), input.begin()));
}

// Gain applied at every sample of a square wave stream: output / input.
std::vector<double> GainTrace(LevelDynamic& effect, const std::vector<double>& input) {
    const auto out = test::RunBlocks(effect, input, 1, 576, 1);
    std::vector<double> gain(out.size());
    for (size_t i = 0; i < out.size(); ++i) gain[i] = out[i] / input[i];
    return gain;
}

TEST(LevelDynamicTiming, StepUpFollowsAttackAndStepDownFollowsRelease) {
    // Loud for 0.3 s, then quieter (still over the threshold) for 0.5 s.
    const int32_t loud = kRate * 3 / 10, quiet = kRate / 2;
    auto input = Square(loud, 1, 30000.0);
    const auto tail = Square(quiet, 1, 8000.0);
    input.insert(input.end(), tail.begin(), tail.end());
    // Threshold -20 dB (3277): both levels are compressed. Ratio 2.
    auto settleSamples = [&](double attackMs, double releaseMs, int32_t from, int32_t to) {
        LevelDynamic effect(kRate, 1);
        SetKnobs(effect, -20.0, attackMs, releaseMs, 2.0);
        const auto gain = GainTrace(effect, input);
        // The stream's last frames are still inside the effect.
        to = std::min<int32_t>(to, static_cast<int32_t>(gain.size()));
        const double final = gain[to - 1];
        for (int32_t i = to - 1; i >= from; --i)
            if (std::fabs(gain[i] - final) > 0.01 * final) return i - from;
        return 0;
    };
    // Time to settle after the step up (from silence at 0) and after the step down.
    const int32_t fastAttack = settleSamples(1.0, 200.0, 0, loud);
    const int32_t slowAttack = settleSamples(50.0, 200.0, 0, loud);
    const int32_t fastRelease = settleSamples(50.0, 2.0, loud, loud + quiet);
    const int32_t slowRelease = settleSamples(1.0, 60.0, loud, loud + quiet);
    // One time constant is about a fifth of the 1 % settling time for a
    // first-order smoother (ln 100 = 4.6, less on the compressed gain).
    EXPECT_LT(fastAttack, 0.010 * kRate);
    EXPECT_GT(slowAttack, 0.050 * kRate);
    EXPECT_LT(fastRelease, 0.015 * kRate);
    EXPECT_GT(slowRelease, 0.060 * kRate);
}

}  // namespace
}  // namespace orve
