#include "effects/equaliser/graphic_eq.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

const int kLayouts[] = {3, 10, 15, 20, 31};

// Runs one tiny block so that pending gains are designed into the sections.
void Apply(GraphicEq& eq, const std::vector<double>& gains, int channels = 2) {
    eq.SetParameters(gains.data());
    std::vector<double> block(2 * channels, 0.0);
    eq.ProcessBlock(block.data(), block.data(), 2 * channels, 2 * channels, 3);
    eq.Reset();
}

double GainAt(const double* c, double omega) {
    // |H(e^jw)| of b0 + b1 z^-1 + b2 z^-2 over 1 + a1 z^-1 + a2 z^-2.
    const double cr = std::cos(omega), sr = -std::sin(omega), c2 = std::cos(2 * omega), s2 = -std::sin(2 * omega);
    const double nr = c[0] + c[1] * cr + c[2] * c2, ni = c[1] * sr + c[2] * s2;
    const double dr = 1 + c[4] * cr + c[5] * c2, di = c[4] * sr + c[5] * s2;
    return std::sqrt((nr * nr + ni * ni) / (dr * dr + di * di));
}

TEST(GraphicEqLayout, ActiveBandsFollowTheSampleRate) {
    struct Case {
        int rate;
        int active[5];
    };
    const Case cases[] = {
        {44100, {3, 10, 15, 20, 31}}, {32000, {3, 10, 15, 19, 30}}, {22050, {3, 9, 14, 17, 28}},
        {11025, {2, 8, 12, 15, 25}},  {8000, {2, 8, 12, 15, 24}},
    };
    for (const Case& c : cases)
        for (int i = 0; i < 5; ++i) {
            GraphicEq eq(c.rate, 2, GeqLayoutFor(kLayouts[i]));
            EXPECT_EQ(eq.ActiveBands(), c.active[i]) << c.rate << " Hz, " << kLayouts[i] << " bands";
            KnobSpec knobs[kMaxKnobs];
            EXPECT_EQ(eq.DescribeKnobs(knobs), kLayouts[i]);   // inactive bands keep their knobs
        }
}

TEST(GraphicEqDesign, WorkedCoefficientsAt44100) {
    GraphicEq eq(44100, 2, GeqLayoutFor(10));
    std::vector<double> gains(10, 0.0);
    gains[0] = 6.0;
    gains[5] = 12.0;
    gains[9] = -6.0;
    Apply(eq, gains);
    const double peak[] = {1.073166, -1.931146, 0.877748, 1.0, -1.931146, 0.950913};
    const double low[] = {1.000913, -1.995573, 0.994680, 1.0, -1.995578, 0.995588};
    const double high[] = {0.841338, 0.960439, 0.346778, 1.0, 0.847139, 0.301416};
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(eq.SectionCoefficients(5)[i], peak[i], 1e-6) << i;
        EXPECT_NEAR(eq.SectionCoefficients(0)[i], low[i], 1e-6) << i;
        EXPECT_NEAR(eq.SectionCoefficients(9)[i], high[i], 1e-6) << i;
    }
    EXPECT_NEAR(GainAt(eq.SectionCoefficients(0), 0.0), 1.99526, 1e-5);
    EXPECT_NEAR(GainAt(eq.SectionCoefficients(9), M_PI), 0.50119, 1e-5);
}

TEST(GraphicEqDesign, LowShelfCutIsExactAtDc) {
    GraphicEq eq(44100, 1, GeqLayoutFor(31));
    std::vector<double> gains(31, 0.0);
    gains[0] = -18.0;
    Apply(eq, gains, 1);
    EXPECT_NEAR(20 * std::log10(GainAt(eq.SectionCoefficients(0), 0.0)), -18.0, 1e-9);
}

TEST(GraphicEqDesign, BandAtHalfTheSampleRateStaysFiniteAndStable) {
    // At 8000 Hz the 4 kHz band of the 10-band layout is the high shelf, sitting
    // exactly at half the rate; at 32000 Hz the 16 kHz band does the same.
    for (int rate : {8000, 32000}) {
        GraphicEq eq(rate, 1, GeqLayoutFor(10));
        const int top = eq.ActiveBands() - 1;
        ASSERT_EQ(GeqLayoutFor(10).centres[top], rate / 2.0);
        for (double g : {18.0, -18.0, 0.0}) {
            std::vector<double> gains(10, 0.0);
            gains[top] = g;
            Apply(eq, gains, 1);
            for (int i = 0; i < 6; ++i) ASSERT_TRUE(std::isfinite(eq.SectionCoefficients(top)[i]));
            EXPECT_NEAR(20 * std::log10(GainAt(eq.SectionCoefficients(top), M_PI)), g, 1e-6);
            const auto x = test::Noise(rate * 2, 10000.0, 9);
            const auto y = test::RunBlocks(eq, x, 1, 576);
            double peak = 0;
            for (double v : y) peak = std::max(peak, std::abs(v));
            EXPECT_TRUE(std::isfinite(peak));
            EXPECT_LT(peak, 10000.0 * 40);
        }
    }
}

TEST(GraphicEqDesign, ShelfCornerJustBelowHalfTheRateKeepsItsPlace) {
    // At 32500 Hz the 16 kHz shelf sits at 0.492 fs: a finite prewarp, so the
    // bilinear design holds and the corner lands exactly on 16 kHz, where a
    // Butterworth shelf of gain V has |H|^2 = (1 + V^2) / 2.
    GraphicEq eq(32500, 1, GeqLayoutFor(10));
    ASSERT_EQ(eq.ActiveBands(), 10);
    std::vector<double> gains(10, 0.0);
    gains[9] = -18.0;
    Apply(eq, gains, 1);
    const double V = std::pow(10.0, -18.0 / 20);
    EXPECT_NEAR(GainAt(eq.SectionCoefficients(9), 2 * M_PI * 16000 / 32500), std::sqrt((1 + V * V) / 2), 1e-9);
}

TEST(GraphicEqSignal, FlatGainsGiveIdentity) {
    for (int bands : kLayouts) {
        GraphicEq eq(44100, 2, GeqLayoutFor(bands));
        const auto x = test::Noise(2 * 4000, 20000.0, 4);
        auto y = test::RunBlocks(eq, x, 2, 576);
        ASSERT_EQ(y.size(), x.size());
        for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], x[i], 1e-7) << bands << " bands, value " << i;
        // Zero gains passed explicitly keep it flat.
        Apply(eq, std::vector<double>(bands, 0.0));
        y = test::RunBlocks(eq, x, 2, 1000);
        for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], x[i], 1e-7);
    }
}

TEST(GraphicEqSignal, BoostedBandRaisesItsCentreBy18dB) {
    GraphicEq eq(44100, 2, GeqLayoutFor(31));
    std::vector<double> gains(31, 0.0);
    gains[17] = 18.0;   // 1 kHz
    eq.SetParameters(gains.data());
    const auto x = test::Sine(1000.0, 44100, 44100, 2, 1000.0);
    const auto y = test::RunBlocks(eq, x, 2, 576);
    for (int c = 0; c < 2; ++c) {
        const double in = test::ToneAmplitude(x, 2, c, 1000.0, 44100, 22050, 22050);
        const double out = test::ToneAmplitude(y, 2, c, 1000.0, 44100, 22050, 22050);
        EXPECT_NEAR(20 * std::log10(out / in), 18.0, 0.05);
    }
    // An octave away the narrow third-octave band leaves the tone nearly alone.
    GraphicEq eq2(44100, 1, GeqLayoutFor(31));
    eq2.SetParameters(gains.data());
    const auto x2 = test::Sine(2000.0, 44100, 44100, 1, 1000.0);
    const auto y2 = test::RunBlocks(eq2, x2, 1, 576);
    const double ratio = test::ToneAmplitude(y2, 1, 0, 2000.0, 44100, 22050, 22050) /
                         test::ToneAmplitude(x2, 1, 0, 2000.0, 44100, 22050, 22050);
    EXPECT_LT(20 * std::log10(ratio), 2.0);
}

TEST(GraphicEqSignal, InactiveBandKnobHasNoEffect) {
    GraphicEq eq(22050, 1, GeqLayoutFor(31));
    std::vector<double> gains(31, 0.0);
    gains[28] = gains[29] = gains[30] = 18.0;   // 12.5, 16 and 20 kHz: above 11025
    eq.SetParameters(gains.data());
    const auto x = test::Noise(6000, 1000.0, 2);
    const auto y = test::RunBlocks(eq, x, 1, 576);
    for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], x[i], 1e-7);
}

TEST(GraphicEqSignal, ChannelMaskSelectsProcessedChannels) {
    std::vector<double> gains(10, 0.0);
    gains[5] = 12.0;
    const auto x = test::Sine(1000.0, 44100, 8000, 2, 1000.0);
    for (int mask : {0, 1, 2, 3}) {
        GraphicEq eq(44100, 2, GeqLayoutFor(10));
        eq.SetParameters(gains.data());
        const auto y = test::RunBlocks(eq, x, 2, 576, mask);
        for (int c = 0; c < 2; ++c) {
            const double gain = test::ToneAmplitude(y, 2, c, 1000.0, 44100, 4000, 4000) /
                                test::ToneAmplitude(x, 2, c, 1000.0, 44100, 4000, 4000);
            if (ChannelEnabled(mask, c)) EXPECT_NEAR(20 * std::log10(gain), 12.0, 0.1) << mask;
            else
                for (size_t f = 0; f < 8000; ++f) ASSERT_EQ(y[2 * f + c], x[2 * f + c]) << mask;
        }
    }
}

TEST(GraphicEqSignal, GainChangeKeepsFilterMemories) {
    // Splitting a stream across a parameter change that re-sends the same gains
    // must not click: the memories carry over the redesign.
    std::vector<double> gains(10, 0.0);
    gains[2] = 9.0;
    const auto x = test::Noise(4000, 1000.0, 8);
    GraphicEq whole(44100, 1, GeqLayoutFor(10));
    whole.SetParameters(gains.data());
    const auto expected = test::RunBlocks(whole, x, 1, 500);
    GraphicEq split(44100, 1, GeqLayoutFor(10));
    split.SetParameters(gains.data());
    std::vector<double> first(x.begin(), x.begin() + 2000), second(x.begin() + 2000, x.end());
    auto y = test::RunBlocks(split, first, 1, 500);
    split.SetParameters(gains.data());
    const auto y2 = test::RunBlocks(split, second, 1, 500);
    y.insert(y.end(), y2.begin(), y2.end());
    for (size_t i = 0; i < x.size(); ++i) ASSERT_DOUBLE_EQ(y[i], expected[i]);
}

}  // namespace
}  // namespace orve
