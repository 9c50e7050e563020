// The window's thread and the audio thread meet only in PluginState, under
// the processing lock's rule (plugin_state.h). One thread here plays blocks
// through ModifySamples, changing the stream's format now and then so that
// the audio path rebuilds its effect; the other does what the window does:
// selects effects, lays the window out, chooses presets, moves knobs and the
// gain, flips the channel switches, presses Snap Noise and paints the thumbs.
// Built with ThreadSanitizer and with AddressSanitizer (tests/CMakeLists.txt):
// a race or a use of a destroyed effect is reported there. In any build, a
// block longer than the audio path may hand back, or one carrying values
// left in the block buffer from earlier blocks, fails here.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "plugin/audio_path.h"
#include "plugin/effect_catalogue.h"
#include "plugin/plugin_state.h"
#include "ui/window_actions.h"

namespace orve {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kModalReverbId = EffectNumber(EffectId::ModalReverb);
constexpr double kPoison = 1e300;   // clips to full scale if it ever reaches the output

void WindowThread(PluginState& state, const std::atomic<bool>& stop, int64_t& actions) {
    std::mt19937 random(20240611u);
    ui::LayoutContent shown = ui::PrepareLayout(state);
    int32_t positions[kMaxKnobs];
    while (!stop.load(std::memory_order_relaxed)) {
        switch (random() % 9) {
            case 0: {
                // Half the selections swap between the pass-through and the two
                // effects that lengthen the stream: the audio path's capacity
                // must come from the effect that fills it. The modal reverb is
                // left out: its room synthesis takes seconds under a sanitizer
                // and locks nothing the others do not.
                const int32_t lengthening[] = {EffectNumber(EffectId::LevelTuning), EffectNumber(EffectId::Resampler),
                                               EffectNumber(EffectId::TempoScaler)};
                int32_t id = static_cast<int32_t>(random() % kSelectableEffects);
                if (random() % 2 == 0) id = lengthening[random() % 3];
                if (id == kModalReverbId) id = lengthening[0];
                if (ui::SelectEffect(state, id)) shown = ui::PrepareLayout(state);
                break;
            }
            case 1: {
                ui::SliderPositions sliders;
                if (!shown.presetNames.empty() &&
                    ui::ChoosePreset(state, static_cast<int32_t>(random() % shown.presetNames.size()), sliders))
                    // Presets set the gain; it is kept at or below 0 dB (below).
                    ui::MoveGain(state, 5000 + static_cast<int32_t>(random() % 2000));
                break;
            }
            case 2:
            case 3:
                for (int32_t i = 0; i < shown.knobCount; ++i)
                    positions[i] = static_cast<int32_t>(random() % (kKnobPositionMax + 1));
                ui::MoveKnobs(state, positions, shown.knobCount);
                break;
            case 4:
                // 0 to -24 dB: the input and the effects stay far from full
                // scale, so a poisoned value reaching the output is seen.
                ui::MoveGain(state, 5000 + static_cast<int32_t>(random() % 2000));
                break;
            case 5:
                if (random() % 4 == 0) ui::SetPassSwitch(state, random() % 2 == 0);
                else ui::SetChannelSwitches(state, random() % 2 == 0, true);
                break;
            case 6:
                ui::PressSnapNoise(state);
                break;
            case 7:
                for (int32_t i = 0; i < shown.knobCount; ++i)
                    ui::KnobThumbText(state, i, static_cast<int32_t>(random() % (kKnobPositionMax + 1)));
                break;
            default:
                shown = ui::PrepareLayout(state);
                break;
        }
        ++actions;
    }
}

TEST(WindowAndAudioThreads, ShareThePluginStateUnderTheLock) {
    PluginState state(nullptr);
    std::atomic<bool> stop{false};
    int64_t actions = 0;
    std::thread window(WindowThread, std::ref(state), std::cref(stop), std::ref(actions));

    std::mt19937 random(99u);
    std::uniform_int_distribution<int> noise(-1000, 1000);
    const int32_t rates[] = {44100, 48000, 32000};
    int32_t rate = 44100, channels = 2;
    int64_t blocks = 0, tooLong = 0, stale = 0;
    std::vector<int16_t> samples;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < end) {
        if (random() % 64 == 0) {
            rate = rates[random() % 3];
            channels = random() % 4 == 0 ? 1 : 2;
        }
        const int32_t frames = 64 + static_cast<int32_t>(random() % 1089);
        const int32_t values = frames * channels;
        samples.assign(2 * static_cast<size_t>(values), 0);   // room for a doubled block
        for (int32_t i = 0; i < values; ++i) samples[i] = static_cast<int16_t>(noise(random));
        // Whatever lies in the block buffer past this block's values is what
        // an effect would hand back as stale audio.
        for (int32_t i = values; i < state.blockCapacity; ++i) state.blockBuffer[i] = (i & 1) ? kPoison : -kPoison;

        const int32_t got = ModifySamples(state, samples.data(), frames, 16, channels, rate);
        if (got < 0 || got > 2 * frames) ++tooLong;
        for (int32_t i = 0; i < got * channels && i < 2 * values; ++i)
            if (samples[i] == 32767 || samples[i] == -32768) {
                ++stale;
                break;
            }
        ++blocks;
    }
    stop = true;
    window.join();
    EXPECT_EQ(tooLong, 0) << "of " << blocks << " blocks";
    EXPECT_EQ(stale, 0) << "of " << blocks << " blocks";
    EXPECT_GT(blocks, 100);
    EXPECT_GT(actions, 100);
}

}  // namespace
}  // namespace orve
