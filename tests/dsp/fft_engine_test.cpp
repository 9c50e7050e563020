#include "dsp/fft_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

std::vector<double> DirectPackedDft(const std::vector<double>& x) {
    const size_t N = x.size(), M = N / 2;
    std::vector<double> packed(N);
    for (size_t k = 0; k <= M; ++k) {
        long double re = 0, im = 0;
        for (size_t n = 0; n < N; ++n) {
            const long double w = -2.0L * M_PI * static_cast<long double>((k * n) % N) / N;
            re += x[n] * std::cos(w);
            im += x[n] * std::sin(w);
        }
        if (k == 0) packed[0] = re;
        else if (k == M) packed[N - 1] = re;
        else {
            packed[2 * k - 1] = re;
            packed[2 * k] = im;
        }
    }
    return packed;
}

class FftLengths : public ::testing::TestWithParam<int> {};

TEST_P(FftLengths, ForwardMatchesDirectDftAndInverseRestores) {
    const int N = GetParam();
    const auto x = test::Noise(N, 1.0, static_cast<uint32_t>(N));
    const auto expected = DirectPackedDft(x);
    FftEngine fft(N, 2);
    std::vector<double> y(x);
    fft.ForwardReal(y.data());
    double worst = 0.0;
    for (int i = 0; i < N; ++i) worst = std::max(worst, std::abs(y[i] - expected[i]));
    EXPECT_LT(worst, 1e-9 * N);
    fft.InverseReal(y.data());
    worst = 0.0;
    for (int i = 0; i < N; ++i) worst = std::max(worst, std::abs(y[i] - x[i]));
    EXPECT_LT(worst, 1e-12 * N);
}

INSTANTIATE_TEST_SUITE_P(EffectLengths, FftLengths,
                         ::testing::Values(2, 8, 24, 64, 128, 256, 384, 400, 512, 768, 1024, 1536, 2048, 3072,
                                           4096, 8192, 404, 66));

TEST(FftEngine, GatherTableForTwelvePoints) {
    FftEngine fft(24, 2);
    const int expected[] = {0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11};
    for (int p = 0; p < 12; ++p) EXPECT_EQ(fft.GatherIndex()[p], expected[p]);
}

}  // namespace
}  // namespace orve
