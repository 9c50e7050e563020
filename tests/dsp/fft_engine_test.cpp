#include "dsp/fft_engine.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "dsp/spectral_effect.h"
#include "support/test_signals.h"

namespace orve {
namespace {

// FFTW's halfcomplex result (r0, r1, .., r(N/2), i(N/2-1), .., i1) reordered into
// the engine's packed half spectrum.
std::vector<double> ReferenceSpectrum(const std::vector<double>& x) {
    const int n = static_cast<int>(x.size()), m = n / 2;
    std::vector<double> in(x), hc(n), packed(n);
    fftw_plan plan = fftw_plan_r2r_1d(n, in.data(), hc.data(), FFTW_R2HC, FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    packed[0] = hc[0];
    packed[n - 1] = hc[m];
    for (int k = 1; k < m; ++k) {
        packed[2 * k - 1] = hc[k];
        packed[2 * k] = hc[n - k];
    }
    return packed;
}

double RelativeError(const std::vector<double>& got, const std::vector<double>& want) {
    double err = 0.0, norm = 0.0;
    for (size_t i = 0; i < want.size(); ++i) {
        err += (got[i] - want[i]) * (got[i] - want[i]);
        norm += want[i] * want[i];
    }
    return std::sqrt(err / norm);
}

// Every real-transform length the effects build at 8000..48000 Hz: the frame
// lengths of the catalogue's durations, every frame DeNoise's "Window" knob
// (5..500 ms) can ask for, the fixed 400/2048/4096 of the convolvers, and the
// tempo scaler's correlation length 2·L·ch (L = overlap of its 0.1 s frame)
// for 1 to 8 channels.
std::vector<int> EffectLengths() {
    std::set<int> lengths = {400, 2048, 4096};
    const int rates[] = {8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000};
    for (int rate : rates) {
        for (double seconds : {0.01, 0.025, 0.03, 0.05, 0.1, 0.2})
            lengths.insert(ChooseFrameLength(static_cast<int32_t>(rate * seconds), 2));
        const int32_t frame = ChooseFrameLength(static_cast<int32_t>(rate * 0.1), 2);
        const int32_t overlap = ChooseFrameLength(static_cast<int32_t>(0.75 * frame), 2);
        for (int channels = 1; channels <= 8; ++channels) lengths.insert(2 * overlap * channels);
    }
    for (int32_t target = static_cast<int32_t>(8000 * 0.005); target <= static_cast<int32_t>(48000 * 0.5); ++target)
        lengths.insert(ChooseFrameLength(target, 2));
    return {lengths.begin(), lengths.end()};
}

// Lengths aimed at the kernels: each dedicated radix alone and behind other
// passes (so it runs with twiddles), and leftover primes for the general odd
// kernel, alone and as the first of several passes.
std::vector<int> KernelLengths() {
    std::vector<int> lengths;
    for (int m : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 16, 32, 48, 63, 80, 81, 90, 112, 256, 560, 1120, 3000, 4410,
                  11, 13, 33, 97, 99, 102, 202, 208, 101 * 4})
        lengths.push_back(2 * m);
    return lengths;
}

// The reference path against FFTW, forward and round trip, twice on one
// engine: what a kernel caches (the general kernel's roots) must serve the
// next, different transform.
void CheckAgainstFftw(int n) {
    SCOPED_TRACE(::testing::Message() << "N = " << n);
    FftEngine fft(n, FftKind::Real, InstructionSet::kReference);
    for (uint32_t seed : {0u, 1u}) {
        const auto x = test::Noise(n, 1.0, static_cast<uint32_t>(n) + seed);
        std::vector<double> y(x);
        fft.ForwardReal(y.data());
        EXPECT_LT(RelativeError(y, ReferenceSpectrum(x)), 5e-14);
        fft.InverseReal(y.data());
        EXPECT_LT(RelativeError(y, x), 5e-14);
    }
}

TEST(FftEngineAccuracy, EveryEffectLengthMatchesFftwAndRoundTrips) {
    for (int n : EffectLengths()) CheckAgainstFftw(n);
}

TEST(FftEngineAccuracy, EveryKernelMatchesFftwAndRoundTrips) {
    for (int n : KernelLengths()) CheckAgainstFftw(n);
}

// The fast path, with each instruction set this processor has, against the
// reference path: forward on noise, inverse on an arbitrary spectrum (not the
// forward's own, so that the inverse's split is checked on its own), at every
// length an effect builds and at the kernel lengths. Where a length does not
// fill the set's vectors, a narrower set serves it; only lengths whose half
// is odd, below 4 or has a prime above 7 stay on the reference path.
class FftEngineFastPath : public ::testing::TestWithParam<InstructionSet> {};

std::string SetName(const ::testing::TestParamInfo<InstructionSet>& info) {
    const char* const names[] = {"Reference", "Portable", "Sse2", "Avx2Fma"};
    return names[static_cast<int>(info.param)];
}

TEST_P(FftEngineFastPath, MatchesTheReferencePath) {
    if (!InstructionSetSupported(GetParam())) GTEST_SKIP() << "not available on this processor";
    std::vector<int> lengths = EffectLengths(), kernels = KernelLengths();
    lengths.insert(lengths.end(), kernels.begin(), kernels.end());
    for (int n : lengths) {
        SCOPED_TRACE(::testing::Message() << "N = " << n);
        FftEngine fast(n, FftKind::Real, GetParam()), reference(n, FftKind::Real, InstructionSet::kReference);
        int rest = n / 2;
        for (int p : {2, 3, 5, 7})
            while (rest % p == 0) rest /= p;
        if (n % 4 != 0 || n < 8 || rest != 1) {
            EXPECT_EQ(fast.Instructions(), InstructionSet::kReference);
            continue;
        }
        // A narrower set only where the length does not fill the vectors.
        EXPECT_NE(fast.Instructions(), InstructionSet::kReference);
        EXPECT_LE(fast.Instructions(), GetParam());
        if (n % 128 == 0) {
            EXPECT_EQ(fast.Instructions(), GetParam());
        }
        for (bool inverse : {false, true}) {
            const auto x = test::Noise(n, 1.0, static_cast<uint32_t>(n + inverse));
            std::vector<double> got(x), want(x);
            if (inverse) {
                fast.InverseReal(got.data());
                reference.InverseRealReference(want.data());
            } else {
                fast.ForwardReal(got.data());
                reference.ForwardRealReference(want.data());
            }
            EXPECT_LT(RelativeError(got, want), 2e-14) << (inverse ? "inverse" : "forward");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, FftEngineFastPath,
                         ::testing::Values(InstructionSet::kPortable, InstructionSet::kSse2,
                                           InstructionSet::kAvx2Fma),
                         SetName);

TEST(FftEngineDeathTest, RadixAbove101EndsTheProcess) {
    // 206 = 2 * 103; 121 = 11 * 11 and 143 = 11 * 13 stay one factor each
    // because only the dedicated radices are split off.
    EXPECT_EXIT(FftEngine(412, FftKind::Real), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(FftEngine(242, FftKind::Real), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(FftEngine(286, FftKind::Real), ::testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace orve
