#include "dsp/spectral_effect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

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

TEST(SpectralEffect, UnwindowedFirstFrameReleasesTwoHopsMinusFrame) {
    // Level Dynamic's framing: hop fraction 0.9, no window, 0.1 s.
    SpectralEffect effect(SpectralEffect::DeferFraming{}, 44100, 0.9, 1, 5000, kNoWindow);
    effect.SetFrameSeconds(0.1);
    const int32_t N = effect.FrameLength(), H = effect.Hop();
    ASSERT_EQ(N, 4096);
    ASSERT_EQ(H, 3686);
    std::vector<double> input(2 * H + 1);
    for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<double>(i + 1);
    const int32_t firstRelease = 2 * H - N;
    std::vector<double> out(H + 1);

    // H + 1 values run exactly one frame (one value must stay pending). It
    // releases 2H - N samples: one more is not there, and asking for exactly
    // that many then returns them, from the stream's first sample on.
    EXPECT_EQ(effect.ProcessBlock(input.data(), out.data(), H + 1, firstRelease + 1, 1), 0);
    ASSERT_EQ(effect.ProcessBlock(nullptr, out.data(), 0, firstRelease, 1), firstRelease);
    for (int32_t i = 0; i < firstRelease; ++i) ASSERT_EQ(out[i], input[i]) << i;

    // The next frame releases a whole hop, continuing where the first stopped.
    EXPECT_EQ(effect.ProcessBlock(input.data() + H + 1, out.data(), H, H + 1, 1), 0);
    ASSERT_EQ(effect.ProcessBlock(nullptr, out.data(), 0, H, 1), H);
    for (int32_t i = 0; i < H; ++i) ASSERT_EQ(out[i], input[firstRelease + i]) << i;
}

TEST(SpectralEffect, TinyTargetsGiveTheShortestFrame) {
    EXPECT_EQ(ChooseFrameLength(1, 2), 2);
    EXPECT_EQ(ChooseFrameLength(2, 2), 2);
    SpectralEffect effect(44100, 0.05, 0.5, 1, 5000, kWindowed);
    effect.SetFrameSeconds(0.00001);
    EXPECT_EQ(effect.FrameLength(), 2);
    EXPECT_EQ(effect.Hop(), 1);
}

}  // namespace
}  // namespace orve
