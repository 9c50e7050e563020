#include "ui/window_layout.h"

#include <gtest/gtest.h>

namespace orve::ui {
namespace {

TEST(WindowLayoutTest, KnobColumnsTruncateAndNeverOverlap) {
    const KnobRow four = KnobRowFor(434, 4);   // spacing 78.8, x0 55.4
    EXPECT_EQ(GainSliderRect(four, 140).x, 55);
    const int32_t expected[4] = {134, 213, 291, 370};   // trunc(55.4 + k * 78.8)
    for (int k = 0; k < 4; ++k) EXPECT_EQ(KnobTrackbarRect(four, k, 140).x, expected[k]) << k;
    // The widest layout: 31 knobs in the GEQ-31 window.
    const int32_t client = WindowWidth(EffectId::Geq31Bands, 0) - 6;
    const KnobRow row = KnobRowFor(client, 31);
    for (int k = 1; k < 31; ++k)
        EXPECT_GE(KnobTrackbarRect(row, k, 150).x - KnobTrackbarRect(row, k - 1, 150).x, kTrackbarWidth) << k;
    EXPECT_LE(KnobTrackbarRect(row, 30, 150).x + kTrackbarWidth, client);
}

TEST(WindowLayoutTest, ChannelSwitchesByEffectAndChannelCount) {
    for (const EffectEntry& effect : OfferedEffects()) {
        const ChannelSwitches s = ChannelSwitchesFor(effect.id, 2, 150);
        EXPECT_EQ(s.passOnly, effect.passOnly) << effect.Text();
        EXPECT_EQ(s.channelMask, 3) << effect.Text();
    }
    const ChannelSwitches mono = ChannelSwitchesFor(EffectId::DeNoise, 1, 150);
    EXPECT_TRUE(mono.passOnly);
    EXPECT_EQ(mono.channelMask, 1);
    // The audio path's re-lay goes by the count alone, whatever the effect.
    EXPECT_FALSE(ChannelSwitchesByCount(2, 150).passOnly);
    EXPECT_TRUE(ChannelSwitchesByCount(1, 150).passOnly);
    EXPECT_FALSE(ChannelSwitchesByCount(6, 150).passOnly);
}

}  // namespace
}  // namespace orve::ui
