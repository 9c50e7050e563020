#include "effects/timepitch/tempo_scaler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

void SetTempo(EffectProcessor& effect, double knob) { effect.SetParameters(&knob); }

TEST(TempoScaler, OffsetsAreWholeFramesSoChannelsStayApart) {
    // A tone on the left, silence on the right: an offset of an odd number of
    // values would leak the left channel into the right.
    for (double knob : {0.6, -0.7, -1.3}) {
        TempoScaler effect(44100, 2);
        SetTempo(effect, knob);
        auto input = test::Sine(233.0, 44100, 44100, 2, 8000.0);
        for (size_t i = 1; i < input.size(); i += 2) input[i] = 0.0;
        const auto output = test::RunBlocks(effect, input, 2, 576);
        ASSERT_GT(output.size(), 20000u);
        double right = 0.0;
        for (size_t i = 1; i < output.size(); i += 2) right = std::max(right, std::abs(output[i]));
        EXPECT_EQ(right, 0.0) << knob;
        EXPECT_GT(test::Rms(output, 0, 2), 1000.0) << knob;
    }
}

// Across the whole knob range the tone keeps its pitch and level and its
// duration scales by 2^knob. (The sanitizer build runs this too: the frames
// taken at the fastest tempi must stay inside the history.)
TEST(TempoScaler, StretchesDurationAndKeepsPitchAcrossTheKnob) {
    const double rate = 44100, tone = 440.0, amplitude = 8000.0;
    const int32_t lead = 4410, toneFrames = 22050, tail = 44100;
    std::vector<double> input(2 * (lead + toneFrames + tail), 0.0);
    const auto sine = test::Sine(tone, rate, toneFrames, 2, amplitude);
    std::copy(sine.begin(), sine.end(), input.begin() + 2 * lead);

    for (double knob : {1.0, 0.4, -0.4, -0.9, -1.3}) {
        TempoScaler effect(rate, 2);
        SetTempo(effect, knob);
        const double tempo = std::pow(2.0, knob);
        const auto output = test::RunBlocks(effect, input, 2, 576);
        const size_t frames = output.size() / 2;
        // The tone's extent in the output: first and last frame above half level.
        size_t on = frames, off = 0;
        for (size_t f = 0; f < frames; ++f) {
            if (std::abs(output[2 * f]) > amplitude / 2) {
                on = std::min(on, f);
                off = f;
            }
        }
        ASSERT_LT(on, off) << knob;
        const double expected = toneFrames * tempo;
        EXPECT_NEAR(static_cast<double>(off - on), expected, 0.02 * expected + 2048) << knob;
        // The tone sits where an exact stretch puts it, give or take the
        // start-up lead a host corrects for (and the offsets' wander).
        const double stretch = static_cast<double>(effect.SynthesisHop()) / effect.AnalysisHop();
        EXPECT_NEAR(0.5 * (on + off), (lead + 0.5 * toneFrames) * stretch + effect.StartUpLead(), 576) << knob;
        // Pitch and level in the middle of the stretched tone.
        const size_t middle = (on + off) / 2, span = 4096;
        EXPECT_NEAR(test::CrossingFrequency(output, 2, 0, middle - span, middle + span, rate), tone, tone * 0.005) << knob;
        EXPECT_NEAR(test::Rms(output, 2 * (middle - span), 2, 2 * span), amplitude / std::sqrt(2.0),
                    0.05 * amplitude) << knob;
        // The whole output follows the stretch too (less the start-up latency,
        // at most a few synthesis hops).
        EXPECT_NEAR(static_cast<double>(frames), (input.size() / 2) * tempo, 0.06 * (input.size() / 2) * tempo + 4096)
            << knob;
    }
}

// At some rates (37800 Hz among them) the fastest analysis hop reaches past
// the room the history leaves for a frame; the frame is then taken from the
// newest input that has arrived. The sanitizer build watches the reads.
TEST(TempoScaler, EveryRateAndChannelCountStaysInsideTheHistory) {
    for (int32_t rate : {8000, 22050, 37800, 96000}) {
        for (double knob : {-1.3, 1.0}) {
            const int32_t channels = rate == 37800 ? 3 : 2;
            TempoScaler effect(rate, channels);
            SetTempo(effect, knob);
            const int32_t frames = rate * 3 / 4;
            const auto input = test::Sine(200.0, rate, frames, channels, 8000.0);
            const auto output = test::RunBlocks(effect, input, channels, 576);
            const double ratio = static_cast<double>(output.size()) / input.size();
            EXPECT_GT(ratio, std::pow(2.0, knob) * 0.5) << rate << " Hz, knob " << knob;
            EXPECT_LT(ratio, std::pow(2.0, knob) * 1.1) << rate << " Hz, knob " << knob;
            for (double v : output) ASSERT_LE(std::abs(v), 9000.0);
        }
    }
}

}  // namespace
}  // namespace orve
