#include "effects/restoration/de_hum.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr double kRate = 44100.0;

// Interleaves `channels` copies of one mono signal.
std::vector<double> Spread(const std::vector<double>& mono, int32_t channels) {
    std::vector<double> x(mono.size() * channels);
    for (size_t f = 0; f < mono.size(); ++f)
        for (int32_t c = 0; c < channels; ++c) x[f * channels + c] = mono[f];
    return x;
}

std::vector<double> Channel(const std::vector<double>& x, int32_t channels, int32_t c) {
    std::vector<double> plane(x.size() / channels);
    for (size_t f = 0; f < plane.size(); ++f) plane[f] = x[f * channels + c];
    return plane;
}

// Mains hum with its odd harmonics, as rectifier-fed hum tends to be.
std::vector<double> Hum(double f0, int32_t frames, double amplitude) {
    std::vector<double> x(frames);
    for (int32_t n = 0; n < frames; ++n) {
        const double w = 2.0 * M_PI * f0 * n / kRate;
        x[n] = amplitude * (std::sin(w) + 0.5 * std::sin(3 * w + 0.3) + 0.25 * std::sin(5 * w + 1.1));
    }
    return x;
}

TEST(DeHumStartUp, FirstDMinusOneOutputsAreSilent) {
    DeHum effect(kRate, 2);
    const auto input = test::Noise(2 * 3000, 5000.0, 11);
    const auto output = test::RunBlocks(effect, input, 2, 576);
    ASSERT_EQ(output.size(), input.size());
    // 44100 Hz, 50 Hz: P = 882, M = 45, D = 928.
    for (int32_t f = 0; f < 927; ++f) {
        ASSERT_EQ(output[2 * f], 0.0) << f;
        ASSERT_EQ(output[2 * f + 1], 0.0) << f;
    }
    EXPECT_NE(output[2 * 927], 0.0);
    EXPECT_NE(output[2 * 927 + 1], 0.0);
}

TEST(DeHumStartUp, ToneWithWholePeriodCancelsFromFirstOutput) {
    DeHum effect(kRate, 1);
    const auto input = test::Sine(50.0, kRate, 20000, 1, 12000.0);
    const auto output = test::RunBlocks(effect, input, 1, 576, 1);
    ASSERT_EQ(output.size(), input.size());
    double worst = 0.0;
    for (size_t n = 927; n < output.size(); ++n) worst = std::max(worst, std::abs(output[n]));
    EXPECT_LT(worst, 1e-6);
}

TEST(DeHumAdaptation, DriftingHumUnderNoiseIsRemoved) {
    // Mains a little off nominal: the period is fractional, so the plain comb
    // leaves a residue and the taps have to learn the interpolation.
    const int32_t frames = 6 * 44100;
    auto mono = Hum(49.9, frames, 3000.0);
    const auto noise = test::Noise(frames, 600.0, 5);
    for (int32_t n = 0; n < frames; ++n) mono[n] += noise[n];
    DeHum effect(kRate, 1);
    const auto output = test::RunBlocks(effect, mono, 1, 576, 1);
    ASSERT_EQ(output.size(), mono.size());

    const size_t first = frames - 2 * 44100, span = 2 * 44100;
    for (double f : {49.9, 3 * 49.9}) {
        const double before = test::ToneAmplitude(mono, 1, 0, f, kRate, first, span);
        const double after = test::ToneAmplitude(output, 1, 0, f, kRate, first, span);
        EXPECT_LT(after, before * 0.01) << f << " Hz: " << before << " -> " << after;   // > 40 dB
    }
    // The noise is not what repeats with the period: it must come through, not
    // be pumped up by the adaptation.
    const double noiseRms = test::Rms(noise, first);
    const double outRms = test::Rms(output, first);
    EXPECT_GT(outRms, 0.8 * noiseRms);
    EXPECT_LT(outRms, 1.3 * noiseRms);
}

TEST(DeHumSilence, SilenceStaysSilentEvenAfterLoudMaterial) {
    DeHum effect(kRate, 1);
    const auto silence = test::RunBlocks(effect, std::vector<double>(5000, 0.0), 1, 576, 1);
    for (double v : silence) ASSERT_EQ(v, 0.0);

    // Loud integer material, then a stretch of silence long enough to empty
    // the ring, then a faint tone: the running power must never reach zero.
    std::vector<double> input = test::Noise(20000, 30000.0, 3);
    for (double& v : input) v = std::round(v);
    input.resize(input.size() + 5000, 0.0);
    const auto faint = test::Sine(440.0, kRate, 5000, 1, 1.0);
    input.insert(input.end(), faint.begin(), faint.end());
    const auto output = test::RunBlocks(effect, input, 1, 576, 1);
    ASSERT_EQ(output.size(), input.size());
    for (size_t n = 20000 + 1000; n < 25000; ++n) ASSERT_EQ(output[n], 0.0) << n;
    for (size_t n = 25000; n < output.size(); ++n) {
        ASSERT_TRUE(std::isfinite(output[n])) << n;
        ASSERT_LT(std::abs(output[n]), 10.0) << n;
    }
}

TEST(DeHumRetune, PresetChangeRestartsBothCancellers) {
    DeHum effect(kRate, 2);
    const EffectPreset* presets = nullptr;
    ASSERT_EQ(effect.GetPresets(&presets), 6);
    ASSERT_STREQ(presets[1].name, "60Hz Hum");

    const auto tone = test::Sine(60.0, kRate, 44100, 2, 8000.0);
    std::vector<double> firstHalf(tone.begin(), tone.begin() + 2 * 576 * 10);
    std::vector<double> secondHalf(tone.begin() + 2 * 576 * 10, tone.end());
    test::RunBlocks(effect, firstHalf, 2, 576);

    effect.SetParameters(presets[1].values + 1);
    const auto output = test::RunBlocks(effect, secondHalf, 2, 576);
    ASSERT_EQ(output.size(), secondHalf.size());
    // 60 Hz: P = 735, M = 37, D = 773: a fresh silent fill, then the tone
    // (whole period again) cancels at once.
    for (int32_t f = 0; f < 772; ++f) {
        ASSERT_EQ(output[2 * f], 0.0) << f;
        ASSERT_EQ(output[2 * f + 1], 0.0) << f;
    }
    double worst = 0.0;
    for (size_t i = 2 * 772; i < output.size(); ++i) worst = std::max(worst, std::abs(output[i]));
    EXPECT_LT(worst, 1e-6);
}

TEST(DeHumChannels, MaskedChannelIsCopiedAndItsCancellerWaits) {
    DeHum effect(kRate, 2);
    const auto input = test::Noise(2 * 4000, 4000.0, 9);
    const std::vector<double> head(input.begin(), input.begin() + 2 * 1152);
    const std::vector<double> tail(input.begin() + 2 * 1152, input.end());
    const auto out1 = test::RunBlocks(effect, head, 2, 576, 1);
    for (size_t f = 0; f < 1152; ++f) ASSERT_EQ(out1[2 * f + 1], head[2 * f + 1]) << f;
    // Re-enabled, the right canceller starts its fill only now.
    const auto out2 = test::RunBlocks(effect, tail, 2, 576, 3);
    for (size_t f = 0; f < 927; ++f) ASSERT_EQ(out2[2 * f + 1], 0.0) << f;
    EXPECT_NE(out2[2 * 927 + 1], 0.0);
    // The left one has long finished filling.
    EXPECT_NE(out2[0], 0.0);
}

TEST(DeHumChannels, ChannelsBeyondTheSecondPassUnchanged) {
    for (int32_t channels = 1; channels <= 8; ++channels) {
        DeHum effect(kRate, channels);
        const auto mono = test::Noise(3000, 3000.0, 21);
        const auto input = Spread(mono, channels);
        // An odd block size leaves a partial frame; the framework drops it.
        const auto output = test::RunBlocks(effect, input, channels, 333, 0xff);
        ASSERT_EQ(output.size(), input.size()) << channels;
        for (int32_t c = 0; c < channels; ++c) {
            const auto plane = Channel(output, channels, c);
            if (c < 2) {
                EXPECT_EQ(plane[926], 0.0) << channels << "/" << c;
                EXPECT_NE(plane[927], 0.0) << channels << "/" << c;
            } else {
                EXPECT_EQ(plane, mono) << channels << "/" << c;
            }
        }
    }
}

TEST(DeHumRetune, EveryRateAndFrequencyFitsTheRing) {
    // The ring is allocated once for 10 Hz; retuning anywhere in (and beyond)
    // the knob range must stay inside it and keep the silent fill of D - 1.
    for (double rate : {8000.0, 11025.0, 22050.0, 32000.0, 48000.0, 96000.0}) {
        for (double hz : {10.0, 16.7, 87.0, 100.0, 2.0, 5000.0}) {
            DeHum effect(rate, 1);
            effect.SetParameters(&hz);
            const auto input = test::Noise(static_cast<int32_t>(0.25 * rate), 1000.0, 2);
            const auto output = test::RunBlocks(effect, input, 1, 576, 1);
            const int32_t D = effect.Canceller(0).DelayLength();
            ASSERT_LE(D, static_cast<int32_t>(input.size())) << rate << " " << hz;
            EXPECT_EQ(output[D - 2], 0.0) << rate << " " << hz;
            EXPECT_NE(output[D - 1], 0.0) << rate << " " << hz;
            for (double v : output) ASSERT_TRUE(std::isfinite(v));
        }
    }
}

}  // namespace
}  // namespace orve
