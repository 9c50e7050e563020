#include "effects/restoration/de_click.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;

// Frame position of stream sample j in the frame whose output hop holds it:
// clicks in the first 51 samples of that frame are not scanned (the model
// needs its order's worth of history on both sides).
int32_t OffsetInOutputFrame(const DeClick& effect, int32_t j) {
    const int32_t N = effect.FrameLength(), H = effect.Hop();
    return (j + N - H) % H;
}

// A voiced-like periodic programme: 200 Hz with a few harmonics over a faint
// hiss (about -55 dB), quantised like 16-bit material. (A nearly noiseless sum
// of sines is predicted so well that the whitened residual of a click spreads
// over the whole model order and the gaps grow long.)
std::vector<double> Periodic(int32_t frames) {
    std::vector<double> x(frames);
    const auto hiss = test::Noise(frames, 100.0, 9);
    for (int32_t i = 0; i < frames; ++i) {
        const double t = 2.0 * M_PI * 200.0 * i / kRate;
        x[i] = std::round(6000.0 * std::sin(t) + 2500.0 * std::sin(2 * t + 0.3) +
                          1200.0 * std::sin(3 * t + 1.1) + hiss[i]);
    }
    return x;
}

struct Click {
    int32_t position;
    int32_t length;
};

// Clicks every ~2300 samples, alternating single samples and 4-sample ringing
// bursts, kept where the frame that outputs them scans them.
std::vector<Click> PlaceClicks(const DeClick& effect, int32_t frames) {
    std::vector<Click> clicks;
    for (int32_t j = 3000; j + 10 < frames - 3000; j += 2311) {
        const int32_t length = clicks.size() % 2 ? 4 : 1;
        const int32_t offset = OffsetInOutputFrame(effect, j);
        if (offset < 80 || offset + length > effect.Hop() - 10) continue;
        clicks.push_back({j, length});
    }
    return clicks;
}

std::vector<double> AddClicks(std::vector<double> x, const std::vector<Click>& clicks, double amplitude) {
    for (size_t i = 0; i < clicks.size(); ++i)
        for (int32_t k = 0; k < clicks[i].length; ++k)
            x[clicks[i].position + k] += (k % 2 ? -1.0 : 1.0) * std::pow(0.6, k) * ((i % 3) ? amplitude : -amplitude);
    return x;
}

// Largest error against the clean signal around each click (two samples either side).
double WorstClickError(const std::vector<double>& out, const std::vector<double>& clean,
                       const std::vector<Click>& clicks) {
    double worst = 0.0;
    for (const Click& c : clicks)
        for (int32_t j = c.position - 2; j < c.position + c.length + 2; ++j)
            worst = std::max(worst, std::fabs(out[j] - clean[j]));
    return worst;
}

TEST(DeClickRepair, ClicksOnPeriodicSignalAreRestored) {
    DeClick effect(kRate, 1);
    const int32_t frames = kRate;
    const auto clean = Periodic(frames);
    const auto clicks = PlaceClicks(effect, frames);
    ASSERT_GE(clicks.size(), 10u);
    const auto input = AddClicks(clean, clicks, 12000.0);
    const auto out = test::RunBlocks(effect, input, 1, 576, 1);
    ASSERT_GT(out.size(), static_cast<size_t>(frames) - 3000);
    EXPECT_GT(WorstClickError(input, clean, clicks), 11000.0);
    EXPECT_LT(WorstClickError(out, clean, clicks), 600.0);
    // Away from the clicks the programme is left as it was.
    // (A click's whitened residual spreads over the model order, so the gap
    // reaches up to about 60 samples either side of it. The stream's own start
    // is a step out of the silent history, a click in its own right.)
    double elsewhere = 0.0;
    for (size_t j = 200; j < out.size(); ++j) {
        bool nearClick = false;
        for (const Click& c : clicks) nearClick |= std::abs(static_cast<int32_t>(j) - c.position) < 120;
        if (!nearClick) elsewhere = std::max(elsewhere, std::fabs(out[j] - input[j]));
    }
    EXPECT_EQ(elsewhere, 0.0);
}

// Largest change the effect makes to a burst of `length` loud samples placed
// wholly inside the output hop of one frame.
double ChangeInsideBurst(int32_t length) {
    DeClick effect(kRate, 1);
    const int32_t frames = kRate / 2;
    auto input = test::Noise(frames, 100.0, 3);
    int32_t start = 8000;
    while (OffsetInOutputFrame(effect, start) != 200) ++start;
    const auto burst = test::Noise(length, 10000.0, 5);
    for (int32_t k = 0; k < length; ++k) input[start + k] += burst[k];
    const auto out = test::RunBlocks(effect, input, 1, 576, 1);
    double change = 0.0;
    for (int32_t j = start; j < start + length; ++j) change = std::max(change, std::fabs(out[j] - input[j]));
    return change;
}

TEST(DeClickDetection, RunsOfTwoHundredSamplesAreLeftAlone) {
    // A scratch of 300 samples is programme as far as the detector goes; one of
    // 150 is still a disturbance and gets replaced.
    EXPECT_EQ(ChangeInsideBurst(300), 0.0);
    EXPECT_GT(ChangeInsideBurst(150), 1000.0);
}

TEST(DeClickDetection, LowerThresholdFindsMoreClicks) {
    const int32_t frames = kRate;
    auto input = test::Noise(frames, 1000.0, 21);
    // Clicks of graded size, from barely above the noise to obvious.
    for (int32_t i = 0, j = 700; j < frames - 100; ++i, j += 997) input[j] += (1500.0 + 300.0 * (i % 20)) * (i % 2 ? 1 : -1);
    // Samples the effect replaced.
    auto count = [&](double thresh) {
        DeClick effect(kRate, 1);
        effect.SetParameters(&thresh);
        const auto out = test::RunBlocks(effect, input, 1, 576, 1);
        int64_t changed = 0;
        for (size_t i = 0; i < out.size(); ++i) changed += out[i] != input[i];
        return changed;
    };
    const int64_t at3 = count(3.0), at20 = count(20.0);
    EXPECT_GT(at3, at20);
    EXPECT_GT(at20, 0);
}

}  // namespace
}  // namespace orve
