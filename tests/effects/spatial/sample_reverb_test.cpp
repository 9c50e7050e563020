#include "effects/spatial/sample_reverb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
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

// The room a knob value plays, told from where an impulse comes back.
int32_t HeardRoom(double value) {
    const std::vector<int16_t> set = TinyRoomSet();
    SampleReverb effect(44100, 2, set.data(), 1);
    effect.SetParameters(&value);
    const int32_t at = 576 * 4;
    std::vector<double> input(2 * 576 * 6, 0.0);
    input[2 * at] = 1000.0;
    const auto out = test::RunBlocks(effect, input, 2, 576);
    for (int32_t f = at; f < at + 10 * kRoomCount + 1; ++f)
        if (std::fabs(out[2 * f]) > 1.0) return (f - at) / 10;
    return -1;
}

TEST(SampleReverbRooms, TheKnobSelectsTheRoomByItsWholePart) {
    const std::vector<int16_t> set = TinyRoomSet();
    SampleReverb effect(44100, 2, set.data(), 1);
    KnobSpec knobs[kMaxKnobs];
    ASSERT_EQ(effect.DescribeKnobs(knobs), 1);
    EXPECT_EQ(HeardRoom(KnobValueAt(knobs[0], 0)), 14);
    EXPECT_EQ(HeardRoom(KnobValueAt(knobs[0], kKnobPositionMax)), 1);
    EXPECT_EQ(HeardRoom(3.9), 3);
}

}  // namespace
}  // namespace orve
