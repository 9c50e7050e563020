#include "effects/restoration/de_ess.h"

#include <gtest/gtest.h>

#include <cmath>

#include "dsp/fft_engine.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr double kRate = 44100.0;

// Gives the tests one frame to fill and inspect.
class DeEssProbe : public DeEss {
public:
    using DeEss::DeEss;
    double* Plane(int c) { return FramePlane(c); }
};

double ExpectedGain(double share, double ratio) {
    const double excess = share - 0.65;
    const double f = excess / (excess - 0.25 * std::log(ratio));
    return 1.0 - f * share;
}

double Magnitude(const std::vector<double>& X, int32_t k) { return std::hypot(X[2 * k - 1], X[2 * k]); }

// One frame: DC, the Nyquist alternation and a cosine on bin `k`; returns the
// spectra before and after ProcessChannels.
std::pair<std::vector<double>, std::vector<double>> RunFrame(DeEssProbe& effect, int32_t k, int32_t mask = 1) {
    const int32_t N = effect.FrameLength();
    double* plane = effect.Plane(0);
    for (int32_t n = 0; n < N; ++n)
        plane[n] = 300.0 + ((n & 1) ? -200.0 : 200.0) + 5000.0 * std::cos(2.0 * M_PI * k * n / N);
    std::vector<double> before(plane, plane + N);
    effect.ProcessChannels(mask);
    std::vector<double> after(plane, plane + N);
    FftEngine fft(N, FftKind::Real);
    fft.ForwardReal(before.data());
    fft.ForwardReal(after.data());
    return {before, after};
}

TEST(DeEssCurve, RisesFromZeroToJustBelowOne) {
    DeEss effect(kRate, 1);
    const auto& curve = effect.SibilanceCurve();
    ASSERT_EQ(curve.size(), 1025u);
    EXPECT_NEAR(curve.front(), 0.0, 1e-12);
    EXPECT_NEAR(curve.back(), 0.9998, 1e-12);
    // Centred near 3000 Hz: bin 139 of 1025 is 2992 Hz.
    EXPECT_NEAR(curve[139], 0.5, 0.05);
    for (size_t i = 1; i < curve.size(); ++i) ASSERT_GT(curve[i], curve[i - 1]);
}

TEST(DeEssFrame, HighToneScaledByStatedFactorAndEdgeBinsUntouched) {
    DeEssProbe effect(kRate, 1);
    const int32_t K = effect.FrameLength() / 2 + 1;
    const int32_t k = K - 2;
    const auto [before, after] = RunFrame(effect, k);
    // The only measured power sits on bin k, so the share is that bin's weight.
    const double share = effect.SibilanceCurve()[k];
    EXPECT_GT(share, 0.9997);
    EXPECT_NEAR(Magnitude(after, k) / Magnitude(before, k), ExpectedGain(share, 0.5), 1e-9);
    EXPECT_NEAR(after[0], before[0], 1e-9 * std::abs(before[0]));
    EXPECT_NEAR(after.back(), before.back(), 1e-9 * std::abs(before.back()));
}

TEST(DeEssFrame, RatioIsClampedToItsUsableRange) {
    DeEssProbe effect(kRate, 1);
    const int32_t k = effect.FrameLength() / 2 - 1;
    auto gainFor = [&](double ratio) {
        effect.SetParameters(&ratio);
        const auto [before, after] = RunFrame(effect, k);
        return Magnitude(after, k) / Magnitude(before, k);
    };
    const double share = effect.SibilanceCurve()[k];
    const double strongest = gainFor(0.99), weakest = gainFor(1e-20);
    EXPECT_NEAR(strongest, ExpectedGain(share, 0.99), 1e-9);
    EXPECT_NEAR(weakest, ExpectedGain(share, 1e-20), 1e-9);
    EXPECT_LT(strongest, 0.01);
    EXPECT_GT(weakest, 0.95);
    EXPECT_DOUBLE_EQ(gainFor(7.0), strongest);
    EXPECT_DOUBLE_EQ(gainFor(0.0), weakest);
    EXPECT_DOUBLE_EQ(gainFor(-3.0), weakest);
    EXPECT_DOUBLE_EQ(gainFor(std::nan("")), weakest);
}

TEST(DeEssStream, LowFrequencyMaterialPassesUnchanged) {
    DeEss effect(kRate, 2);
    auto input = test::Sine(220.0, kRate, 30000, 2, 8000.0);
    const auto second = test::Sine(1300.0, kRate, 30000, 2, 3000.0, 0.7);
    for (size_t i = 0; i < input.size(); ++i) input[i] += second[i];
    const auto output = test::RunBlocks(effect, input, 2, 576);
    ASSERT_GT(output.size(), input.size() / 2);
    EXPECT_LT(test::MaxDifference(output, input), 1e-6);
}

TEST(DeEssStream, SibilantToneAttenuatedOnEnabledChannelOnly) {
    DeEss effect(kRate, 2);
    const int32_t frames = 30000;
    const auto input = test::Sine(21000.0, kRate, frames, 2, 8000.0);
    const auto output = test::RunBlocks(effect, input, 2, 576, 1);
    const size_t outFrames = output.size() / 2;
    ASSERT_GT(outFrames, 20000u);
    const size_t first = 4096, span = outFrames - first;
    const double left = test::ToneAmplitude(output, 2, 0, 21000.0, kRate, first, span);
    // Every frame carries the same tone, so the stream is scaled by the frame
    // gain with the share of the tone's bins, within a hair of 0.9998.
    EXPECT_NEAR(left / 8000.0, ExpectedGain(0.9998, 0.5), 2e-3);
    double worst = 0.0;
    for (size_t f = 0; f < outFrames; ++f) worst = std::max(worst, std::abs(output[2 * f + 1] - input[2 * f + 1]));
    EXPECT_LT(worst, 1e-6);
}

TEST(DeEssStream, AnyChannelCountRunsWithinBounds) {
    for (int32_t channels = 1; channels <= 8; ++channels) {
        DeEss effect(kRate, channels);
        const auto input = test::Sine(21000.0, kRate, 5000, channels, 8000.0);
        const auto output = test::RunBlocks(effect, input, channels, 577, 3);
        ASSERT_EQ(output.size() % channels, 0u);
        ASSERT_GT(output.size(), 0u);
        // Channel 3 is the first whose mask bit (4) is outside 3: it passes.
        if (channels > 3) {
            for (size_t f = 0; f < output.size() / channels; ++f)
                ASSERT_NEAR(output[f * channels + 3], input[f * channels + 3], 1e-6) << channels;
        }
    }
}

}  // namespace
}  // namespace orve
