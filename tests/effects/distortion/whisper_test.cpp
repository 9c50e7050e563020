#include "effects/distortion/whisper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

class WhisperProbe : public Whisper {
public:
    using Whisper::Whisper;
    using SpectralEffect::FramePlane;
};

using test::Spectrum;

TEST(Whisper, WetKeepsEachFramesMagnitudesAndRandomisesPhases) {
    WhisperProbe effect(44100, 1);
    const int32_t N = effect.FrameLength(), M = N / 2;
    const auto tone = test::Sine(1000.0, 44100, N, 1, 10000.0);
    std::copy(tone.begin(), tone.end(), effect.FramePlane(0));
    const auto before = Spectrum(effect.FramePlane(0), N);
    effect.ProcessChannels(1);
    const auto after = Spectrum(effect.FramePlane(0), N);
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

TEST(Whisper, SilentFrameStaysSilentButDrawsItsNumbers) {
    const int32_t N = 384;
    const auto tone = test::Sine(1000.0, 44100, N, 1, 10000.0);
    WhisperProbe drew(44100, 1), fresh(44100, 1);
    std::fill(drew.FramePlane(0), drew.FramePlane(0) + N, 0.0);
    drew.ProcessChannels(1);
    for (int32_t i = 0; i < N; ++i) ASSERT_EQ(drew.FramePlane(0)[i], 0.0);
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
