#include "effects/timepitch/tempo_scaler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

void SetTempo(EffectProcessor& effect, double knob) { effect.SetParameters(&knob); }

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
// newest input that has arrived (the sanitizer build watches the reads). The
// offsets are whole frames: a tone on the left alone leaks into no other
// channel, as an odd number of values would.
TEST(TempoScaler, EveryRateAndChannelCountStaysInsideTheHistoryWithChannelsApart) {
    for (int32_t rate : {8000, 22050, 37800, 44100, 96000})
        for (double knob : {1.0, 0.6, -0.7, -1.3}) {
            SCOPED_TRACE(::testing::Message() << rate << " Hz, knob " << knob);
            const int32_t channels = rate == 37800 ? 3 : 2;
            TempoScaler effect(rate, channels);
            SetTempo(effect, knob);
            auto input = test::Sine(233.0, rate, rate * 3 / 4, channels, 8000.0);
            for (size_t i = 0; i < input.size(); ++i)
                if (i % channels) input[i] = 0.0;
            const auto output = test::RunBlocks(effect, input, channels, 576);
            const double ratio = static_cast<double>(output.size()) / input.size();
            EXPECT_GT(ratio, std::pow(2.0, knob) * 0.5);
            EXPECT_LT(ratio, std::pow(2.0, knob) * 1.1);
            EXPECT_GT(test::Rms(output, 0, channels), 1000.0);
            for (size_t i = 0; i < output.size(); ++i) ASSERT_LE(std::abs(output[i]), i % channels ? 0.0 : 9000.0) << i;
        }
}

}  // namespace
}  // namespace orve
