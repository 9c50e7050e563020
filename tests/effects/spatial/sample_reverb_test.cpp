#include "effects/spatial/sample_reverb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

// A small room set in the stored layout: room t answers with one impulse of
// half scale at value 10 t on the left and a negative one at 10 t + 5 on the
// right, in responses of 3000 values per ear.
constexpr int32_t kHalf = 3000;
std::vector<int16_t> TinyRoomSet() {
    std::vector<int16_t> set(56 + kRoomCount * 2 * kHalf, 0);
    uint32_t offset = 56;
    for (int32_t t = 1; t <= kRoomCount; ++t) {
        const uint32_t length = 2 * kHalf;
        set[4 * (t - 1) + 0] = static_cast<int16_t>(offset & 0xFFFF);
        set[4 * (t - 1) + 1] = static_cast<int16_t>(offset >> 16);
        set[4 * (t - 1) + 2] = static_cast<int16_t>(length & 0xFFFF);
        set[4 * (t - 1) + 3] = static_cast<int16_t>(length >> 16);
        set[offset + 10 * t] = 16384;
        set[offset + kHalf + 10 * t + 5] = -16384;
        offset += length;
    }
    return set;
}

// The stored impulse after the effect's scaling (0.5 at full scale) and fade.
double ImpulseGain(int32_t position) { return 0.25 * std::pow(3.0, -6.0 * position / kHalf); }

void ApplyPreset(SampleReverb& effect, const std::string& name) {
    const EffectPreset* presets = nullptr;
    const int32_t count = effect.GetPresets(&presets);
    for (int32_t i = 0; i < count; ++i)
        if (name == presets[i].name) return effect.SetParameters(presets[i].values + 1);
    ADD_FAILURE() << "no preset " << name;
}

// Per-call output of a stereo stream in 576-frame blocks.
std::vector<std::vector<double>> Calls(SampleReverb& effect, const std::vector<double>& input, int32_t mask = 3,
                                       void (*between)(SampleReverb&, int) = nullptr) {
    std::vector<std::vector<double>> calls;
    for (size_t start = 0; start < input.size(); start += 2 * 576) {
        if (between) between(effect, static_cast<int>(calls.size()));
        std::vector<double> block(input.begin() + start, input.begin() + start + 2 * 576);
        effect.ProcessBlock(block.data(), block.data(), 2 * 576, 2 * 576, mask);
        calls.push_back(block);
    }
    return calls;
}

TEST(SampleReverbTiming, FourthCallDeliversThenOutputTrailsBy1280) {
    const std::vector<int16_t> set = TinyRoomSet();
    SampleReverb effect(44100, 2, set.data(), 1);
    std::vector<double> input(2 * 576 * 8, 0.0);
    input[2 * 1100] = 1000.0;       // left
    input[2 * 1100 + 1] = 1000.0;   // right
    const auto calls = Calls(effect, input);
    for (int call : {0, 1, 2, 4}) EXPECT_EQ(test::Rms(calls[call]), 0.0) << "call " << call;
    // Call 4 (index 3) holds stream samples 1024..1599: the impulse lands at
    // frame 76 + 10 on the left and 76 + 15 on the right, and nowhere else.
    EXPECT_NEAR(calls[3][2 * 86], 1000.0 * ImpulseGain(10), 1e-9);
    EXPECT_NEAR(calls[3][2 * 91 + 1], -1000.0 * ImpulseGain(15), 1e-9);
    EXPECT_NEAR(test::Rms(calls[3]) * std::sqrt(2.0 * 576), std::hypot(1000.0 * ImpulseGain(10), 1000.0 * ImpulseGain(15)), 1e-9);
    // From call 6 on: stream sample s appears 1280 samples later.
    std::vector<double> ramp(2 * 576 * 10);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i / 2 % 997);
    SampleReverb second(44100, 2, set.data(), 1);
    const std::vector<double> out = test::RunBlocks(second, ramp, 2, 576);
    for (size_t f = 2880; f < 576 * 10; ++f)
        ASSERT_NEAR(out[2 * f], ImpulseGain(10) * ramp[2 * (f - 1280 - 10)], 1e-6) << f;
}

TEST(SampleReverbRooms, KnobAndPresetsSelectTheRoom) {
    const std::vector<int16_t> set = TinyRoomSet();
    SampleReverb effect(44100, 2, set.data(), 1);
    EXPECT_EQ(effect.PresetCount(), 14);
    KnobSpec knobs[kMaxKnobs];
    ASSERT_EQ(effect.DescribeKnobs(knobs), 1);
    const double atStart = KnobValueAt(knobs[0], 0), atEnd = KnobValueAt(knobs[0], kKnobPositionMax);
    effect.SetParameters(&atStart);
    EXPECT_EQ(effect.RoomType(), 14);
    effect.SetParameters(&atEnd);
    EXPECT_EQ(effect.RoomType(), 1);
    ApplyPreset(effect, "Cave        ");
    EXPECT_EQ(effect.RoomType(), 3);
    const double within = 3.9;
    effect.SetParameters(&within);
    EXPECT_EQ(effect.RoomType(), 3);
}

TEST(SampleReverbRooms, ARoomChangeRestartsTheConvolversAndASameRoomChangeDoesNot) {
    const std::vector<int16_t> set = TinyRoomSet();
    const std::vector<double> tone = test::Sine(300.0, 44100.0, 576 * 14, 2, 1000.0);
    // Cave at call 7: two silent calls while the new convolvers fill, then
    // the new room's response (impulse at 30 instead of 10).
    SampleReverb effect(44100, 2, set.data(), 1);
    const auto calls = Calls(effect, tone, 3, [](SampleReverb& e, int call) {
        if (call == 7) ApplyPreset(e, "Cave        ");
    });
    EXPECT_GT(test::Rms(calls[6]), 10.0);
    EXPECT_EQ(test::Rms(calls[7]), 0.0);
    EXPECT_EQ(test::Rms(calls[8]), 0.0);
    EXPECT_GT(test::Rms(calls[12]), 10.0);
    // Same room again: no rebuild, the output never stops.
    SampleReverb steady(44100, 2, set.data(), 3);
    const auto steadyCalls = Calls(steady, tone, 3, [](SampleReverb& e, int call) {
        if (call == 7) ApplyPreset(e, "Cave        ");
    });
    for (int call = 5; call < 14; ++call) EXPECT_GT(test::Rms(steadyCalls[call]), 10.0) << "call " << call;
}

// Each room has two responses: a third channel passes unchanged.
TEST(SampleReverbChannels, ChannelsBeyondTheSecondPassUnchanged) {
    const std::vector<int16_t> set = TinyRoomSet();
    SampleReverb surround(44100, 3, set.data(), 1);
    const std::vector<double> input = test::Noise(3 * 576 * 6, 1000.0, 6);
    const std::vector<double> out = test::RunBlocks(surround, input, 3, 576);
    EXPECT_EQ(test::MaxDifference(out, input, 3, 2), 0.0);
    EXPECT_GT(test::Rms(out, 3 * 576 * 5, 3), 100.0);
}

}  // namespace
}  // namespace orve
