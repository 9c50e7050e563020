#include "dsp/spectrum_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

// Each instruction set's kernels against the C library (the reference set),
// at the accuracy spectrum_math_kernels.h states. Counts are not multiples of
// any vector width, so the padded last vector is checked too.
class SpectrumMathAccuracy : public ::testing::TestWithParam<InstructionSet> {
protected:
    void SetUp() override {
        if (!InstructionSetSupported(GetParam())) GTEST_SKIP() << "not available on this processor";
        ASSERT_EQ(math.Instructions(), GetParam());
    }
    SpectrumMath math{GetParam()};
    SpectrumMath library{InstructionSet::kReference};
};

std::string SetName(const ::testing::TestParamInfo<InstructionSet>& info) {
    const char* const names[] = {"Reference", "Portable", "Sse2", "Avx2Fma"};
    return names[static_cast<int>(info.param)];
}

TEST_P(SpectrumMathAccuracy, Atan2InEveryQuadrantAndAtTheAxes) {
    std::vector<double> y, x;
    const auto a = test::Noise(4001, 1.0, 3), b = test::Noise(4001, 1.0, 4);
    for (size_t i = 0; i < a.size(); ++i) {
        // Ratios from 1e-12 to 1e12 and every sign combination.
        const double scale = std::pow(10.0, 12.0 * a[i]);
        y.push_back(b[i] * scale);
        x.push_back(a[i] < 0 ? -1.0 : 1.0);
    }
    for (double v : {0.0, -0.0, 1.0, -1.0, 1e-300, -1e300})
        for (double w : {0.0, -0.0, 1.0, -1.0, 3e-310, 2e300}) {
            y.push_back(v);
            x.push_back(w);
        }
    const int32_t n = static_cast<int32_t>(y.size());
    std::vector<double> got(n), want(n);
    math.Atan2(y.data(), x.data(), n, got.data());
    library.Atan2(y.data(), x.data(), n, want.data());
    for (int32_t i = 0; i < n; ++i) ASSERT_NEAR(got[i], want[i], 4.5e-16) << "atan2(" << y[i] << ", " << x[i] << ")";
    EXPECT_EQ(got[n - 36], 0.0);   // (0, 0)
}

TEST_P(SpectrumMathAccuracy, SinCosNearZeroAndFarOut) {
    std::vector<double> angle = test::Noise(3001, 20.0, 5);
    for (double v : test::Noise(999, 1e6, 6)) angle.push_back(v);
    for (int q = -8; q <= 8; ++q) angle.push_back(q * M_PI / 4);
    const int32_t n = static_cast<int32_t>(angle.size());
    std::vector<double> s(n), c(n), ws(n), wc(n);
    math.SinCos(angle.data(), n, s.data(), c.data());
    library.SinCos(angle.data(), n, ws.data(), wc.data());
    for (int32_t i = 0; i < n; ++i) {
        ASSERT_NEAR(s[i], ws[i], 1.2e-16) << "sin " << angle[i];
        ASSERT_NEAR(c[i], wc[i], 1.2e-16) << "cos " << angle[i];
    }
}

TEST_P(SpectrumMathAccuracy, PowOverTheNormalRange) {
    for (double exponent : {1.0, 1.37, 2.0, 0.5, -1.5, 0.0}) {
        std::vector<double> base;
        for (double u : test::Noise(2001, 1.0, 7)) base.push_back(std::pow(10.0, 290.0 * u / std::max(1.0, std::fabs(exponent))));
        for (double u : test::Noise(1001, 0.5, 8)) base.push_back(0.5 + u);   // the gains' range 0..1
        base.push_back(1.0);
        const int32_t n = static_cast<int32_t>(base.size());
        std::vector<double> got(n), want(n);
        math.Pow(base.data(), exponent, n, got.data());
        library.Pow(base.data(), exponent, n, want.data());
        for (int32_t i = 0; i < n; ++i) {
            const double bound = 2e-16 * (1.0 + std::fabs(exponent * std::log(base[i])));
            ASSERT_LE(std::fabs(got[i] - want[i]), bound * want[i]) << base[i] << " ^ " << exponent;
        }
        EXPECT_EQ(got[n - 1], 1.0);
    }
    // A zero (or subnormal) base: the limit x^e as x falls to 0.
    const double zeros[] = {0.0, 4e-320, 0.0};
    double out[3];
    math.Pow(zeros, 1.5, 3, out);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], 0.0);
    math.Pow(zeros, 0.0, 1, out);
    EXPECT_EQ(out[0], 1.0);
}

// Polar form of a packed spectrum and back, magnitudes and gains, against the
// reference: DC and Nyquist of either sign, empty bins, every tail length.
TEST_P(SpectrumMathAccuracy, PackedSpectrumPolarFormAndGains) {
    for (int32_t N : {6, 8, 10, 12, 18, 64, 386, 2048}) {
        SCOPED_TRACE(::testing::Message() << "N = " << N);
        std::vector<double> X = test::Noise(N, 1000.0, static_cast<uint32_t>(N));
        X[0] = -X[0];
        if (N > 8) X[3] = X[4] = 0.0;   // an empty bin
        const int32_t K = N / 2 + 1;
        std::vector<double> mag(K), phase(K), wantMag(K), wantPhase(K);
        math.ToPolar(X.data(), N, mag.data(), phase.data());
        library.ToPolar(X.data(), N, wantMag.data(), wantPhase.data());
        std::vector<double> alone(K);
        math.Magnitudes(X.data(), N, alone.data());
        for (int32_t k = 0; k < K; ++k) {
            // One rounding apart at most (a fused multiply-add rounds once less).
            ASSERT_NEAR(mag[k], wantMag[k], 2.3e-16 * wantMag[k]) << k;
            ASSERT_NEAR(phase[k], wantPhase[k], 4.5e-16) << k;
            ASSERT_EQ(alone[k], mag[k]) << k;
        }

        std::vector<double> back(N), wantBack(N);
        math.FromPolar(wantMag.data(), wantPhase.data(), N, back.data());
        library.FromPolar(wantMag.data(), wantPhase.data(), N, wantBack.data());
        for (int32_t i = 0; i < N; ++i) ASSERT_NEAR(back[i], wantBack[i], 1e-12) << i;
        EXPECT_EQ(back[0], X[0]);
        EXPECT_EQ(back[N - 1], X[N - 1]);

        const std::vector<double> gain = test::Noise(K, 2.0, 9);
        std::vector<double> scaled(X), wantScaled(X);
        math.ScaleBins(gain.data(), N, scaled.data());
        library.ScaleBins(gain.data(), N, wantScaled.data());
        EXPECT_EQ(scaled, wantScaled);
    }
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, SpectrumMathAccuracy,
                         ::testing::Values(InstructionSet::kPortable, InstructionSet::kSse2,
                                           InstructionSet::kAvx2Fma),
                         SetName);

}  // namespace
}  // namespace orve
