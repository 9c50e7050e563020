#include "effects/restoration/de_noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/fft_engine.h"
#include "plugin/effect_actions.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;

// Exposes the analysis window, to rebuild the learned profile independently.
class DeNoiseProbe : public DeNoise {
public:
    using DeNoise::DeNoise;
    const double* Window() const { return window; }
};

void SetKnobs(DeNoise& effect, double windowMs, double noiseLen, double thresh) {
    const double values[] = {windowMs, noiseLen, thresh};
    effect.SetParameters(values);
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

// Stream positions of whole output frames: RunBlocks output j is input j.
std::vector<double> Slice(const std::vector<double>& x, size_t first, size_t count) {
    return std::vector<double>(x.begin() + first, x.begin() + std::min(x.size(), first + count));
}

TEST(DeNoiseLearning, SilentUntilLearningEndsThenPassesAudio) {
    DeNoise effect(kRate, 2);
    EXPECT_EQ(effect.FrameLength(), 2048);
    EXPECT_EQ(effect.FirstLearnFrame(), 4);
    EXPECT_EQ(effect.LearnEndFrame(), 17);
    const auto input = test::Noise(2 * kRate, 3000.0, 1);
    const auto out = test::RunBlocks(effect, input, 2, 576);
    EXPECT_TRUE(effect.ProfileReady());
    EXPECT_EQ(effect.LearnedFrames(), 14);
    // Frames 0..18 are silent: they release the first 16 hops of the stream
    // (frames 0..2 fill the latency). Frame 19 is the first to add sound.
    const size_t silent = 16 * 512 * 2;
    ASSERT_GT(out.size(), silent + 4096);
    for (size_t i = 0; i < silent; ++i) ASSERT_EQ(out[i], 0.0) << i;
    EXPECT_GT(test::Rms(out, silent, 1, 64), 0.0);
}

TEST(DeNoiseLearning, ProfileIsThePlainMeanOfTheLearnedFrames) {
    DeNoiseProbe effect(kRate, 2);
    const int32_t frames = kRate / 2;
    const auto left = test::Noise(frames, 2000.0, 3), right = test::Noise(frames, 500.0, 4);
    std::vector<double> input(2 * frames);
    for (int32_t i = 0; i < frames; ++i) input[2 * i] = left[i], input[2 * i + 1] = right[i];
    test::RunBlocks(effect, input, 2, 576);
    ASSERT_TRUE(effect.ProfileReady());

    const int32_t N = 2048, H = 512, K = N / 2 + 1;
    FftEngine fft(N, FftKind::Real);
    std::vector<double> frame(N);
    for (int32_t c = 0; c < 2; ++c) {
        const auto& x = c ? right : left;
        std::vector<double> mean(K, 0.0);
        for (int32_t f = 4; f <= 17; ++f) {
            // Frame f holds the N stream samples ending with hop f.
            const int32_t first = (f + 1) * H - N;
            for (int32_t i = 0; i < N; ++i) frame[i] = (first + i >= 0 ? x[first + i] : 0.0) * effect.Window()[i];
            fft.ForwardReal(frame.data());
            mean[0] += frame[0] * frame[0] / 14;
            mean[K - 1] += frame[N - 1] * frame[N - 1] / 14;
            for (int32_t k = 1; k < K - 1; ++k) mean[k] += (frame[2 * k - 1] * frame[2 * k - 1] + frame[2 * k] * frame[2 * k]) / 14;
        }
        for (int32_t k : {0, 1, 100, 511, 1000, K - 1})
            EXPECT_NEAR(effect.NoisePower(c, k), mean[k], 1e-9 * mean[k]) << "channel " << c << " bin " << k;
    }
}

TEST(DeNoiseRemoval, ToneKeepsItsLevelWhileTheNoiseFloorDrops) {
    DeNoise effect(kRate, 1);
    // 0.5 s of noise to learn from, 1 s of tone in the same noise, 0.5 s of noise.
    const int32_t learn = kRate / 2, toneFrames = kRate, rest = kRate / 2;
    auto input = test::Noise(learn + toneFrames + rest, 1000.0, 5);
    const auto tone = test::Sine(1000.0, kRate, toneFrames, 1, 3000.0);
    for (int32_t i = 0; i < toneFrames; ++i) input[learn + i] += tone[i];
    const auto out = test::RunBlocks(effect, input, 1, 576, 1);
    ASSERT_GT(out.size(), static_cast<size_t>(learn + toneFrames + rest / 2));

    // Tone level, away from the transitions.
    const size_t first = learn + 4096, count = toneFrames - 8192;
    const double before = test::ToneAmplitude(input, 1, 0, 1000.0, kRate, first, count);
    const double after = test::ToneAmplitude(out, 1, 0, 1000.0, kRate, first, count);
    EXPECT_NEAR(Db(after / before), 0.0, 1.0);

    // Noise floor where the noise is alone (after the tone has died away).
    const size_t quietFirst = learn + toneFrames + 4096;
    const size_t quietCount = out.size() - quietFirst;
    const double noiseIn = test::Rms(input, quietFirst, 1, quietCount);
    const double noiseOut = test::Rms(out, quietFirst, 1, quietCount);
    EXPECT_LT(Db(noiseOut / noiseIn), -20.0);
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

TEST(DeNoiseKnobs, WindowChangeOverOneMillisecondRelearns) {
    DeNoise effect(kRate, 1);
    SetKnobs(effect, 50.0, 4.0, 0.5);
    const auto noise = test::Noise(kRate, 1000.0, 9);
    test::RunBlocks(effect, noise, 1, 576, 1);
    ASSERT_TRUE(effect.ProfileReady());

    // Within 1 ms: nothing but NoiseLen and Thresh change.
    SetKnobs(effect, 50.9, 6.0, 0.7);
    SetKnobs(effect, 49.1, 6.0, 0.7);
    auto out = test::RunBlocks(effect, Slice(noise, 0, 4 * 576), 1, 576, 1);
    EXPECT_TRUE(effect.ProfileReady());
    EXPECT_EQ(out.size(), 4u * 576);

    // Beyond 1 ms: re-framed on the next block, profile discarded, silence while learning.
    SetKnobs(effect, 52.0, 4.0, 0.5);
    EXPECT_TRUE(effect.ProfileReady());   // nothing happens outside the audio thread
    out = test::RunBlocks(effect, noise, 1, 576, 1);
    EXPECT_EQ(effect.FrameLength(), 2048);
    EXPECT_TRUE(effect.ProfileReady());
    ASSERT_GT(out.size(), 8192u);
    for (size_t i = 0; i < 8192; ++i) ASSERT_EQ(out[i], 0.0) << i;

    SetKnobs(effect, 100.0, 4.0, 0.5);
    test::RunBlocks(effect, Slice(noise, 0, 576), 1, 576, 1);
    EXPECT_EQ(effect.FrameLength(), 4096);
    EXPECT_FALSE(effect.ProfileReady());
    EXPECT_EQ(effect.LearnedFrames(), 0);
}

TEST(DeNoiseKnobs, SnapNoiseRestartsLearning) {
    DeNoise effect(kRate, 2);
    const auto noise = test::Noise(2 * kRate, 1000.0, 11);
    test::RunBlocks(effect, noise, 2, 576);
    ASSERT_TRUE(effect.ProfileReady());

    EffectProcessor& asEffect = effect;
    EXPECT_TRUE(SnapNoise(asEffect));
    const auto out = test::RunBlocks(effect, noise, 2, 576);
    ASSERT_GT(out.size(), 2u * 8192);
    // The frames after the snap learn again; their output is silent (the
    // release restarts, so the silence begins after what was already ready).
    double loudest = 0.0;
    for (size_t i = 2 * 2048; i < 2 * 8192; ++i) loudest = std::max(loudest, std::fabs(out[i]));
    EXPECT_EQ(loudest, 0.0);
    EXPECT_TRUE(effect.ProfileReady());
    EXPECT_EQ(effect.LearnedFrames(), 14);

    EffectProcessor passThrough(6000);
    EXPECT_FALSE(SnapNoise(passThrough));
}

TEST(DeNoiseChannels, MaskWithoutTheLastChannelStillFinishesLearning) {
    DeNoise effect(kRate, 2);
    const auto input = test::Noise(2 * kRate, 1000.0, 13);
    const auto out = test::RunBlocks(effect, input, 2, 576, 1);
    EXPECT_TRUE(effect.ProfileReady());
    // The switched-off right channel passes untouched (to window rounding);
    // the left one has been denoised after learning.
    const size_t first = 2 * 20000, count = (out.size() - first) / 2;
    double worstRight = 0.0;
    for (size_t i = 1; i < out.size(); i += 2) worstRight = std::max(worstRight, std::fabs(out[i] - input[i]));
    EXPECT_LT(worstRight, 1e-6);
    EXPECT_LT(Db(test::Rms(out, first, 2, count) / test::Rms(input, first, 2, count)), -20.0);
}

TEST(DeNoiseChannels, LearningStretchSpentInPassIsRepeated) {
    DeNoise effect(kRate, 2);
    const auto input = test::Noise(2 * kRate, 1000.0, 15);
    const size_t half = input.size() / 2;
    const std::vector<double> first(input.begin(), input.begin() + half), second(input.begin() + half, input.end());
    const auto passed = test::RunBlocks(effect, first, 2, 576, 0);
    EXPECT_FALSE(effect.ProfileReady());
    for (size_t i = 0; i < passed.size(); ++i) ASSERT_NEAR(passed[i], first[i], 1e-6) << i;
    test::RunBlocks(effect, second, 2, 576, 3);
    EXPECT_TRUE(effect.ProfileReady());
    EXPECT_EQ(effect.LearnedFrames(), 14);
}

TEST(DeNoiseChannels, AnyChannelCountFromOneToEightRuns) {
    for (int32_t n = 1; n <= 8; ++n) {
        // 10 ms frames (N = 384) keep the learning stretch short.
        DeNoise effect(kRate, n);
        SetKnobs(effect, 10.0, 4.0, 0.5);
        const auto input = test::Noise(n * 6000, 1000.0, n);
        const auto out = test::RunBlocks(effect, input, n, 576, 0xff);
        EXPECT_TRUE(effect.ProfileReady()) << n;
        for (double v : out) ASSERT_TRUE(std::isfinite(v)) << n;
    }
}

}  // namespace
}  // namespace orve
