#include "effects/spatial/sample_reverb.h"

#include <gtest/gtest.h>

#include <algorithm>
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
// Half of full scale, tapered over the response's last 5 % only.
double ImpulseGain(int32_t position) {
    const int32_t taper = std::max(1, kHalf / 20), left = kHalf - position;
    return 0.25 * (left >= taper ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * left / taper));
}

void ApplyPreset(SampleReverb& effect, const std::string& name) {
    const EffectPreset* presets = nullptr;
    const int32_t count = effect.GetPresets(&presets);
    for (int32_t i = 0; i < count; ++i)
        if (name == presets[i].name) return effect.SetParameters(presets[i].values + 1);
    ADD_FAILURE() << "no preset " << name;
}

TEST(SampleReverbTiming, OutputIsAlignedAndHeldBackByTheLatency) {
    const std::vector<int16_t> set = TinyRoomSet();
    SampleReverb effect(44100, 2, set.data(), 1);
    EXPECT_EQ(effect.Latency(), 255);
    std::vector<double> input(2 * 576 * 8, 0.0);
    input[2 * 1100] = 1000.0;       // left
    input[2 * 1100 + 1] = 1000.0;   // right
    const auto out = test::RunBlocks(effect, input, 2, 576);
    ASSERT_EQ(out.size(), 2u * (576 * 8 - 255));
    // The stored impulse lands 10 frames later on the left and 15 on the
    // right, and nowhere else.
    for (size_t f = 0; f < out.size() / 2; ++f) {
        ASSERT_NEAR(out[2 * f], f == 1110 ? 1000.0 * ImpulseGain(10) : 0.0, 1e-9) << f;
        ASSERT_NEAR(out[2 * f + 1], f == 1115 ? -1000.0 * ImpulseGain(15) : 0.0, 1e-9) << f;
    }
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

TEST(SampleReverbRooms, ARoomChangeIsCrossfadedWithoutAGap) {
    const std::vector<int16_t> set = TinyRoomSet();
    // A tone, and an impulse long after the change at call 7 to show the
    // room then playing (Cave: its impulse at 30 instead of 10).
    std::vector<double> input = test::Sine(300.0, 44100.0, 576 * 20, 2, 1000.0);
    for (int f = 576 * 16; f < 576 * 20; ++f) input[2 * f] = input[2 * f + 1] = 0.0;
    input[2 * 576 * 17] = 1000.0;
    SampleReverb effect(44100, 2, set.data(), 1);
    std::vector<double> out, block(2 * 576);
    for (int call = 0; call < 20; ++call) {
        if (call == 7) ApplyPreset(effect, "Cave        ");
        std::copy(input.begin() + call * 2 * 576, input.begin() + (call + 1) * 2 * 576, block.begin());
        RunWorkNow(effect);
        const int32_t got = effect.ProcessBlock(block.data(), block.data(), 2 * 576, 2 * 576, 3);
        EXPECT_EQ(got, call == 0 ? 2 * (576 - 255) : 2 * 576);
        if (call > 0 && call < 16) EXPECT_GT(test::Rms(block, 0, 1, got), 10.0) << "call " << call;
        out.insert(out.end(), block.begin(), block.begin() + got);
    }
    EXPECT_NEAR(out[2 * (576 * 17 + 30)], 1000.0 * ImpulseGain(30), 1e-9);
    EXPECT_NEAR(out[2 * (576 * 17 + 10)], 0.0, 1e-9);
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
