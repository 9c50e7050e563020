#include "effects/equaliser/graphic_eq.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

// Gain in dB the equaliser applies to a steady signal once its filters have
// settled: a tone, DC (frequency 0) or the Nyquist alternation (fs / 2).
double SteadyGainDb(double rate, int bands, const std::vector<double>& gains, double frequency) {
    GraphicEq eq(rate, 1, bands);
    eq.SetParameters(gains.data());
    const int32_t frames = static_cast<int32_t>(3 * rate);
    std::vector<double> x(frames);
    for (int32_t n = 0; n < frames; ++n)
        x[n] = frequency == 0.0 ? 1000.0 : frequency == rate / 2 ? (n % 2 ? -1000.0 : 1000.0)
                                                              : 1000.0 * std::sin(2 * M_PI * frequency * n / rate);
    const auto y = test::RunBlocks(eq, x, 1, 576, 1);
    const size_t first = frames - static_cast<int32_t>(rate / 2);
    if (frequency == 0.0 || frequency == rate / 2) return analysis::Decibels(std::abs(y.back() / x.back()));
    return analysis::Decibels(test::ToneAmplitude(y, 1, 0, frequency, rate, first, rate / 2) /
                              test::ToneAmplitude(x, 1, 0, frequency, rate, first, rate / 2));
}

std::vector<double> OneBand(int bands, int band, double gain) {
    std::vector<double> gains(bands, 0.0);
    gains[band] = gain;
    return gains;
}

// Gains at the edges of the band. A low shelf's cut is exact at DC. A top
// shelf that sits exactly at half the rate (the 4 kHz band of the 10-band
// layout at 8000 Hz, its 16 kHz band at 32000 Hz) stays finite and stable and
// gives its gain at Nyquist. Just below half the rate the prewarp is finite,
// so the corner lands exactly on 16 kHz, where a Butterworth shelf of gain V
// has |H|^2 = (1 + V^2) / 2. The knob of a band above half the rate does nothing.
TEST(GraphicEq, ShelvesKeepTheirGainsAtTheEdgesOfTheBand) {
    const double V = std::pow(10.0, -18.0 / 20), corner = analysis::Decibels(std::sqrt((1 + V * V) / 2));
    const struct {
        double rate;
        int bands, band;
        double gain, frequency, want, tolerance;
    } cases[] = {{44100, 31, 0, -18.0, 0.0, -18.0, 1e-3},      {8000, 10, 7, 18.0, 4000.0, 18.0, 1e-3},
                 {8000, 10, 7, -18.0, 4000.0, -18.0, 1e-3},     {32000, 10, 9, 18.0, 16000.0, 18.0, 1e-3},
                 {32000, 10, 9, -18.0, 16000.0, -18.0, 1e-3},   {32500, 10, 9, -18.0, 16000.0, corner, 0.01}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rate << " Hz, band " << c.band << " at " << c.gain << " dB");
        EXPECT_NEAR(SteadyGainDb(c.rate, c.bands, OneBand(c.bands, c.band, c.gain), c.frequency), c.want, c.tolerance);
        GraphicEq eq(c.rate, 1, c.bands);
        eq.SetParameters(OneBand(c.bands, c.band, c.gain).data());
        for (double v : test::RunBlocks(eq, test::Noise(static_cast<int32_t>(c.rate), 10000.0, 9), 1, 576))
            ASSERT_LT(std::abs(v), 10000.0 * 40);
    }
    GraphicEq eq(22050, 1, 31);
    std::vector<double> gains(31, 0.0);
    gains[28] = gains[29] = gains[30] = 18.0;   // 12.5, 16 and 20 kHz: above 11025
    eq.SetParameters(gains.data());
    const auto x = test::Noise(6000, 1000.0, 2);
    EXPECT_LT(test::MaxDifference(test::RunBlocks(eq, x, 1, 576), x), 1e-7);
}

TEST(GraphicEq, GainChangeKeepsFilterMemories) {
    // Splitting a stream across a parameter change that re-sends the same gains
    // must not click: the memories carry over the redesign.
    const auto gains = OneBand(10, 2, 9.0);
    const auto x = test::Noise(4000, 1000.0, 8);
    GraphicEq whole(44100, 1, 10);
    whole.SetParameters(gains.data());
    const auto expected = test::RunBlocks(whole, x, 1, 500);
    GraphicEq split(44100, 1, 10);
    split.SetParameters(gains.data());
    auto y = test::RunBlocks(split, std::vector<double>(x.begin(), x.begin() + 2000), 1, 500);
    split.SetParameters(gains.data());
    const auto y2 = test::RunBlocks(split, std::vector<double>(x.begin() + 2000, x.end()), 1, 500);
    y.insert(y.end(), y2.begin(), y2.end());
    EXPECT_EQ(y, expected);
}

}  // namespace
}  // namespace orve
