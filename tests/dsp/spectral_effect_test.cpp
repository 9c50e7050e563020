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
