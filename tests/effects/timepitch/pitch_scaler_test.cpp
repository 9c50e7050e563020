#include "effects/timepitch/pitch_scaler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

// Gives the tests the frame the engine hands to ProcessChannels.
class PitchProbe : public PitchScaler {
public:
    using PitchScaler::PitchScaler;
    using SpectralEffect::FramePlane;
};

void SetPitch(EffectProcessor& effect, double knob) { effect.SetParameters(&knob); }

using test::BinMagnitude;
using test::Spectrum;

TEST(PitchScaler, RatioOneThirdSilencesTheTopTwoThirds) {
    PitchProbe effect(44100, 1);
    SetPitch(effect, -1.0);
    const int32_t N = effect.FrameLength(), M = N / 2, B = M + 1;
    const auto noise = test::Noise(N, 10000.0, 3);
    std::copy(noise.begin(), noise.end(), effect.FramePlane(0));
    const auto before = Spectrum(effect.FramePlane(0), N);
    effect.ProcessChannels(1);
    const auto after = Spectrum(effect.FramePlane(0), N);
    double low = 0.0;
    for (int32_t k = 1; 3 * k < B; ++k) low = std::max(low, BinMagnitude(after, k));
    EXPECT_GT(low, 1000.0);
    for (int32_t k = 1; k < M; ++k) {
        if (3 * k >= B) {
            EXPECT_LT(BinMagnitude(after, k), 1e-6) << "bin " << k;
        }
    }
    // Source bin 3k lands on bin k.
    EXPECT_NEAR(BinMagnitude(after, 100), BinMagnitude(before, 300), 1e-6 * BinMagnitude(before, 300));
}

TEST(PitchScaler, TopEdgeTaperWhenTheSourceReachesNyquist) {
    // 32000 Hz: N = 1536, M = 768 = 3 x 256, so bin 256 draws from bin M.
    PitchProbe effect(32000, 1);
    SetPitch(effect, -1.0);
    const int32_t N = effect.FrameLength();
    ASSERT_EQ(N, 1536);
    const auto noise = test::Noise(N, 10000.0, 5);
    std::copy(noise.begin(), noise.end(), effect.FramePlane(0));
    const auto before = Spectrum(effect.FramePlane(0), N);
    effect.ProcessChannels(1);
    const auto after = Spectrum(effect.FramePlane(0), N);
    EXPECT_NEAR(BinMagnitude(after, 255), 0.5 * BinMagnitude(before, 765), 1e-6 * BinMagnitude(before, 765));
    EXPECT_NEAR(BinMagnitude(after, 254), 0.9 * BinMagnitude(before, 762), 1e-6 * BinMagnitude(before, 762));
    // Bin M counts as silent, so the taper bin itself is empty.
    EXPECT_LT(BinMagnitude(after, 256), 1e-6);
}

TEST(PitchScaler, DcAndNyquistPassWhateverTheRatio) {
    for (double knob : {1.0, 0.4, -0.4, -1.0}) {
        PitchProbe effect(44100, 1);
        SetPitch(effect, knob);
        const int32_t N = effect.FrameLength();
        auto noise = test::Noise(N, 10000.0, 11);
        for (int32_t i = 0; i < N; ++i) noise[i] += 3000.0 + (i % 2 ? -2000.0 : 2000.0);
        std::copy(noise.begin(), noise.end(), effect.FramePlane(0));
        const auto before = Spectrum(effect.FramePlane(0), N);
        effect.ProcessChannels(1);
        const auto after = Spectrum(effect.FramePlane(0), N);
        EXPECT_NEAR(after[0], before[0], 1e-6 * std::abs(before[0])) << knob;
        EXPECT_NEAR(after[N - 1], before[N - 1], 1e-6 * std::abs(before[N - 1])) << knob;
    }
}

}  // namespace
}  // namespace orve
