#include "effects/restoration/de_hum.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr double kRate = 44100.0;
// At 44100 Hz and 50 Hz the canceller looks P = 882 back over M = 45 either
// side: its ring is D = 928 long, and the first D - 1 outputs are its fill.
constexpr size_t kFill50 = 927;

using test::LeadingSilence;

TEST(DeHum, SilentWhileTheRingFillsThenCancelsAWholePeriodTone) {
    DeHum effect(kRate, 2);
    const auto noise = test::RunBlocks(effect, test::Noise(2 * 3000, 5000.0, 11), 2, 576);
    EXPECT_EQ(LeadingSilence(noise, 2, 0), kFill50);
    EXPECT_EQ(LeadingSilence(noise, 2, 1), kFill50);
    // A switched-off channel's canceller waits: re-enabled, the right one
    // starts its fill only then, the left one has long finished.
    DeHum leftFirst(kRate, 2);
    const auto input = test::Noise(2 * 4000, 4000.0, 9);
    test::RunBlocks(leftFirst, std::vector<double>(input.begin(), input.begin() + 2 * 1152), 2, 576, 1);
    const auto out = test::RunBlocks(leftFirst, std::vector<double>(input.begin() + 2 * 1152, input.end()), 2, 576, 3);
    EXPECT_EQ(LeadingSilence(out, 2, 1), kFill50);
    EXPECT_EQ(LeadingSilence(out, 2, 0), 0u);

    DeHum tone(kRate, 1);
    const auto output = test::RunBlocks(tone, test::Sine(50.0, kRate, 20000, 1, 12000.0), 1, 576, 1);
    ASSERT_EQ(output.size(), 20000u);
    EXPECT_LT(test::Rms(output, kFill50), 1e-6);
}

TEST(DeHum, DriftingHumUnderNoiseIsRemoved) {
    // Mains a little off nominal: the period is fractional, so the plain comb
    // leaves a residue and the taps have to learn the interpolation.
    const int32_t frames = 6 * 44100;
    std::vector<double> mono(frames);
    const auto noise = test::Noise(frames, 600.0, 5);
    for (int32_t n = 0; n < frames; ++n) {
        const double w = 2.0 * M_PI * 49.9 * n / kRate;
        mono[n] = 3000.0 * (std::sin(w) + 0.5 * std::sin(3 * w + 0.3) + 0.25 * std::sin(5 * w + 1.1)) + noise[n];
    }
    DeHum effect(kRate, 1);
    const auto output = test::RunBlocks(effect, mono, 1, 576, 1);
    const size_t first = frames - 2 * 44100, span = 2 * 44100;
    for (double f : {49.9, 3 * 49.9}) {
        const double before = test::ToneAmplitude(mono, 1, 0, f, kRate, first, span);
        const double after = test::ToneAmplitude(output, 1, 0, f, kRate, first, span);
        EXPECT_LT(after, before * 0.01) << f << " Hz: " << before << " -> " << after;   // > 40 dB
    }
    // The noise does not repeat with the period: it must come through, not be
    // pumped up by the adaptation.
    EXPECT_NEAR(test::Rms(output, first) / test::Rms(noise, first), 1.0, 0.3);
}

TEST(DeHum, SilenceAfterLoudMaterialStaysSilentAndFinite) {
    // Loud integer material, then silence long enough to empty the ring, then
    // a faint tone: the running power must never reach zero.
    DeHum effect(kRate, 1);
    std::vector<double> input = test::Noise(20000, 30000.0, 3);
    for (double& v : input) v = std::round(v);
    input.resize(input.size() + 5000, 0.0);
    const auto faint = test::Sine(440.0, kRate, 5000, 1, 1.0);
    input.insert(input.end(), faint.begin(), faint.end());
    const auto output = test::RunBlocks(effect, input, 1, 576, 1);
    for (size_t n = 21000; n < 25000; ++n) ASSERT_EQ(output[n], 0.0) << n;
    for (size_t n = 25000; n < output.size(); ++n) ASSERT_LT(std::abs(output[n]), 10.0) << n;
}

TEST(DeHum, FrequencyChangeRestartsBothCancellers) {
    DeHum effect(kRate, 2);
    const auto tone = test::Sine(60.0, kRate, 44100, 2, 8000.0);
    test::RunBlocks(effect, std::vector<double>(tone.begin(), tone.begin() + 2 * 5760), 2, 576);
    const double hz = 60.0;
    effect.SetParameters(&hz);
    const auto output = test::RunBlocks(effect, std::vector<double>(tone.begin() + 2 * 5760, tone.end()), 2, 576);
    // 60 Hz: P = 735, M = 37, D = 773: a fresh silent fill, then the tone
    // (a whole period again) cancels at once.
    EXPECT_EQ(LeadingSilence(output, 2, 0), 772u);
    EXPECT_LT(test::MaxDifference(std::vector<double>(output.begin() + 2 * 773, output.end()),
                                  std::vector<double>(output.size() - 2 * 773, 0.0)),
              1e-6);
}

TEST(DeHum, EveryRateAndFrequencyFitsTheRing) {
    // The ring is allocated once for 10 Hz; retuning anywhere in (and beyond)
    // the knob range must stay inside it and keep its silent fill.
    for (double rate : {8000.0, 11025.0, 22050.0, 32000.0, 48000.0, 96000.0}) {
        for (double hz : {10.0, 16.7, 87.0, 100.0, 2.0, 5000.0}) {
            DeHum effect(rate, 1);
            effect.SetParameters(&hz);
            const auto output = test::RunBlocks(effect, test::Noise(static_cast<int32_t>(0.25 * rate), 1000.0, 2), 1,
                                                576, 1);
            const size_t fill = LeadingSilence(output);
            EXPECT_GT(fill, 0u) << rate << " " << hz;
            EXPECT_LT(fill, output.size()) << rate << " " << hz;
            for (double v : output) ASSERT_TRUE(std::isfinite(v));
        }
    }
}

}  // namespace
}  // namespace orve
