// The pitch scaler and the resampler (the tempo scaler has its own file: the
// sanitizer build runs it). Their ratios on the demo's programme are the demo
// cases' figures; these hold purity, phase and the queues between blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "effects/timepitch/pitch_scaler.h"
#include "effects/timepitch/resampler.h"
#include "support/test_signals.h"

namespace orve {
namespace {

// The effects' one knob (Pitch, Ratio).
void SetKnob(EffectProcessor& effect, double knob) { effect.SetParameters(&knob); }

// The component at `frequency` over samples [first, first + count) of a mono
// stream, through a Blackman-Harris window (sidebands 172 Hz from a partial
// must not leak into each other's bins), with its phase on the stream's clock.
std::complex<double> Component(const std::vector<double>& x, size_t first, size_t count, double frequency) {
    std::complex<double> sum = 0.0;
    double weight = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / (count - 1);
        const double w = 0.35875 - 0.48829 * std::cos(2 * M_PI * t) + 0.14128 * std::cos(4 * M_PI * t) -
                         0.01168 * std::cos(6 * M_PI * t);
        sum += w * x[first + i] * std::polar(1.0, -2 * M_PI * frequency * static_cast<double>(first + i) / 44100.0);
        weight += w;
    }
    return 2.0 * sum / weight;
}

// How far the component near `frequency` lies from it, in cents: from how its
// phase turns between the two halves of the span.
double CentsOff(const std::vector<double>& x, size_t first, size_t count, double frequency) {
    const std::complex<double> a = Component(x, first, count / 2, frequency);
    const std::complex<double> b = Component(x, first + count / 2, count / 2, frequency);
    const double hertz = std::arg(b * std::conj(a)) / (2 * M_PI * (count / 2) / 44100.0);
    return 1200.0 * std::log2((frequency + hertz) / frequency);
}

std::vector<double> Shifted(double knob, const std::vector<double>& input) {
    PitchScaler effect(44100, 1);
    SetKnob(effect, knob);
    return test::RunBlocks(effect, input, 1, 576);
}

// A harmonic tone (220 Hz, ten partials falling as 1/h) across the knob's
// range: the level stays, every partial lands on its frequency times the
// ratio, and nothing grows beside it at the frame rate (44100 / 256 Hz).
class PitchScalerRange : public ::testing::TestWithParam<double> {};

TEST_P(PitchScalerRange, HarmonicToneKeepsLevelPitchAndPurity) {
    const double knob = GetParam(), ratio = std::pow(3.0, knob);
    std::vector<double> input(2 * 44100);
    for (size_t n = 0; n < input.size(); ++n)
        for (int h = 1; h <= 10; ++h) input[n] += 3000.0 / h * std::sin(2 * M_PI * h * 220.0 * n / 44100.0 + 0.7 * h);
    const auto output = Shifted(knob, input);
    const size_t first = 20000, count = 44100;
    ASSERT_GE(output.size(), first + count);
    const double level = test::Decibels(test::Rms(output, first, 1, count) / test::Rms(input, first, 1, count));
    EXPECT_NEAR(level, 0.0, 1.0) << "ratio " << ratio;
    for (int h = 1; h <= 10; ++h) {
        const double f = h * 220.0 * ratio;
        const double partial = std::abs(Component(output, first, count, f));
        for (double side : {f - 44100.0 / 256, f + 44100.0 / 256})
            EXPECT_LT(test::Decibels(std::abs(Component(output, first, count, side)) / partial), -35.0)
                << "ratio " << ratio << " partial " << h;
        EXPECT_NEAR(CentsOff(output, first, count, f), 0.0, 0.04) << "ratio " << ratio << " partial " << h;
    }
}

INSTANTIATE_TEST_SUITE_P(Ratios, PitchScalerRange, ::testing::Values(-1.0, -0.4, 0.4, 0.631, 1.0));

TEST(PitchScaler, AGlidingToneKeepsItsEnvelope) {
    // A sine gliding up an octave and a half with vibrato: as the peaks move
    // from bin to bin their phases must stay locked, or the partial beats.
    std::vector<double> input(3 * 44100);
    double phase = 0.0;
    for (size_t n = 0; n < input.size(); ++n) {
        phase += 2 * M_PI * 200.0 * std::pow(2.0, 1.5 * n / input.size()) * (1.0 + 0.02 * std::sin(2 * M_PI * 5.5 * n / 44100.0)) / 44100.0;
        input[n] = 8000.0 * std::sin(phase);
    }
    for (double knob : {-1.0, 0.369}) {
        const auto output = Shifted(knob, input);
        double low = 1e9, high = 0.0;
        for (size_t w = 10000; w + 1024 < output.size() - 5000; w += 256) {
            const double rms = test::Rms(output, w, 1, 1024);
            low = std::min(low, rms);
            high = std::max(high, rms);
        }
        EXPECT_LT(test::Decibels(high / low), 1.5) << knob;
    }
}

TEST(PitchScaler, DownwardNothingLandsAboveTheMovedBand) {
    // White noise a twelfth down: the spectrum above a third of the band
    // (the image of the top) is empty, not folded back.
    const auto noise = test::Noise(2 * 44100, 10000.0, 3);
    const auto output = Shifted(-1.0, noise);
    const int32_t N = 2048;
    std::vector<double> frame(output.begin() + 20000, output.begin() + 20000 + N);
    for (int32_t i = 0; i < N; ++i) frame[i] *= 0.5 - 0.5 * std::cos(2 * M_PI * i / N);
    const auto X = test::Spectrum(frame.data(), N);
    double below = 0.0, above = 0.0;
    for (int32_t k = 1; k < N / 2; ++k) (k < N / 6 ? below : (k > N / 6 + 8 ? above : below)) += std::pow(test::BinMagnitude(X, k), 2);
    EXPECT_LT(10.0 * std::log10(above / below), -30.0);
}

TEST(Resampler, FirstBlockAtUnityWaitsThenCatchesUp) {
    Resampler effect(44100, 2);
    RunWorkNow(effect);   // the converters, opened as a host opens them
    EXPECT_EQ(effect.ExtraOutput(), 0);
    const auto input = test::Sine(1000.0, 44100, 576 * 20, 2, 10000.0);
    std::vector<double> block(input.begin(), input.begin() + 1152);
    EXPECT_EQ(effect.ProcessBlock(block.data(), block.data(), 1152, 1152, 3), 0);
    const int32_t backlog = effect.ExtraOutput();
    EXPECT_GT(backlog, 0);
    EXPECT_LT(backlog, 1152);
    // The next block is offered its own length plus the backlog, and fills it.
    block.assign(input.begin() + 1152, input.begin() + 2304);
    block.resize(1152 + backlog);
    EXPECT_EQ(effect.ProcessBlock(block.data(), block.data(), 1152, 1152 + backlog, 3), 1152 + backlog);
    EXPECT_EQ(effect.ExtraOutput(), 0);
    // At factor 1 the converted stream is the input from its first value
    // (the converter's low-pass rings briefly at the tone's abrupt onset).
    for (int32_t i = 0; i < 1152 + backlog; ++i) ASSERT_NEAR(block[i], input[i], i < 128 ? 50.0 : 5.0) << i;
}

TEST(Resampler, BlocksOfOneFrameStillConvert) {
    // Below factor 1 a one-frame block owes less than one output frame; the
    // fractions must add up rather than stall the stream.
    Resampler effect(44100, 1);
    SetKnob(effect, -1.5);
    const auto input = test::Sine(300.0, 44100, 4410, 1, 10000.0);
    const auto output = test::RunBlocks(effect, input, 1, 1);
    EXPECT_NEAR(static_cast<double>(output.size()), 4410 * std::pow(2.0, -1.5), 100.0);
}

TEST(Resampler, KnobChangeMidStreamKeepsTheQueues) {
    const auto input = test::Noise(2 * 576 * 40, 8000.0, 12);
    Resampler steady(44100, 2), changed(44100, 2);
    // Below factor 1 the output queue keeps a backlog between returns.
    SetKnob(steady, -0.3);
    SetKnob(changed, -0.3);
    std::vector<double> a, b;
    int32_t backlogAtChange = 0;
    size_t outputBeforeChange = 0;
    // One block of 576 frames at a time, its pending work run first: a new
    // factor's converters, as the audio path builds them.
    auto run = [&](Resampler& effect, std::vector<double>& sink, int32_t n) {
        const std::vector<double> block(input.begin() + n * 1152, input.begin() + (n + 1) * 1152);
        const auto part = test::RunBlocks(effect, block, 2, 576);
        sink.insert(sink.end(), part.begin(), part.end());
    };
    for (int32_t n = 0; n < 40; ++n) {
        if (n >= 10 && backlogAtChange == 0 && changed.ExtraOutput() > 0) {
            backlogAtChange = changed.ExtraOutput();
            outputBeforeChange = b.size();
            SetKnob(changed, 0.5);
        }
        run(steady, a, n);
        run(changed, b, n);
    }
    ASSERT_GT(backlogAtChange, 0);
    // The values queued before the change come out first, as the unchanged
    // effect delivers them.
    ASSERT_GE(b.size(), outputBeforeChange + backlogAtChange);
    for (int32_t i = 0; i < backlogAtChange; ++i)
        ASSERT_EQ(b[outputBeforeChange + i], a[outputBeforeChange + i]) << i;
    EXPECT_GT(b.size(), a.size() * 7 / 5);   // the new factor took over
}

TEST(Resampler, EveryChannelOfASurroundStreamIsConverted) {
    const int32_t channels = 5;
    Resampler effect(44100, channels);
    SetKnob(effect, 1.0);
    auto input = test::Sine(800.0, 44100, 22050, channels, 1.0);
    for (size_t i = 0; i < input.size(); ++i) input[i] *= 1000.0 * (1 + i % channels);
    const auto output = test::RunBlocks(effect, input, channels, 576, 31);
    const size_t outFrames = output.size() / channels;
    ASSERT_GT(outFrames, 40000u);
    for (int32_t c = 0; c < channels; ++c) {
        EXPECT_NEAR(test::ToneAmplitude(output, channels, c, 400.0, 44100, 2000, outFrames - 4000),
                    1000.0 * (c + 1), 30.0 * (c + 1)) << c;
    }
}

}  // namespace
}  // namespace orve
