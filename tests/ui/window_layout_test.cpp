#include "ui/window_layout.h"

#include <gtest/gtest.h>

namespace orve::ui {
namespace {

TEST(WindowLayoutTest, WidthFollowsEffectAndHostVersion) {
    struct Row { int32_t id, narrow, wide; };
    // Every effect the window offers, in catalogue order.
    const Row rows[] = {{0, 276, 315},  {1, 400, 440},  {2, 276, 315},  {3, 276, 315},  {4, 347, 390},
                        {5, 276, 315},  {6, 400, 440},  {7, 400, 440},  {8, 400, 440},  {9, 500, 500},
                        {10, 640, 640}, {11, 950, 950}, {12, 400, 440}, {13, 400, 440}, {14, 400, 440},
                        {15, 400, 440}, {16, 400, 440}, {17, 400, 440}, {18, 400, 440}, {19, 400, 440},
                        {20, 276, 315}, {21, 276, 315}};
    for (const Row& r : rows) {
        EXPECT_EQ(WindowWidth(r.id, 0), r.narrow) << r.id;
        EXPECT_EQ(WindowWidth(r.id, 0x3000), r.narrow) << r.id;
        EXPECT_EQ(WindowWidth(r.id, 0x3001), r.wide) << r.id;
        EXPECT_EQ(WindowWidth(r.id, 0x5066), r.wide) << r.id;
    }
}

TEST(WindowLayoutTest, GainSliderAloneIsCentredInTheKnobArea) {
    const KnobRow row = KnobRowFor(300, 0);
    EXPECT_DOUBLE_EQ(row.x0, (300 - 40 - 28) * 0.5 + 30);
    EXPECT_EQ(GainSliderRect(row, 150), (Rect{146, 18, 28, 106}));
    EXPECT_EQ(GainLabelRect(row, 20), (Rect{148, 5, 20, 15}));
}

TEST(WindowLayoutTest, OneKnobSharesTheWidthWithTheGainSlider) {
    const KnobRow row = KnobRowFor(300, 1);   // spacing 130, x0 81
    EXPECT_DOUBLE_EQ(row.spacing, 130.0);
    EXPECT_EQ(GainSliderRect(row, 150).x, 81);
    EXPECT_EQ(KnobTrackbarRect(row, 0, 150), (Rect{211, 18, 28, 106}));
    EXPECT_EQ(KnobLabelRect(row, 0, 21), (Rect{212, 5, 21, 15}));   // trunc(130 + 3.5 + 81) - 2
}

TEST(WindowLayoutTest, FourKnobsTruncateFractionalColumns) {
    const KnobRow row = KnobRowFor(434, 4);   // spacing 78.8, x0 55.4
    EXPECT_EQ(GainSliderRect(row, 140).x, 55);
    const int32_t expected[4] = {134, 213, 291, 370};   // trunc(55.4 + k * 78.8)
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(KnobTrackbarRect(row, k, 140).x, expected[k]) << k;
        EXPECT_EQ(KnobTrackbarRect(row, k, 140).height, 96);
    }
}

TEST(WindowLayoutTest, ThirtyOneKnobsFitTheWidestWindow) {
    const KnobRow row = KnobRowFor(944, 31);   // spacing 28.25
    EXPECT_DOUBLE_EQ(row.spacing, 28.25);
    EXPECT_DOUBLE_EQ(row.x0, 30.125);
    EXPECT_EQ(KnobTrackbarRect(row, 30, 150).x, 905);   // trunc(30.125 + 31 * 28.25)
    for (int k = 1; k < 31; ++k)   // neighbours never overlap
        EXPECT_GE(KnobTrackbarRect(row, k, 150).x - KnobTrackbarRect(row, k - 1, 150).x, 28) << k;
}

TEST(WindowLayoutTest, FixedControlsHangFromTheBottom) {
    EXPECT_EQ(MeterRect(false, 150), (Rect{0, 1, 9, 148}));
    EXPECT_EQ(MeterRect(true, 150), (Rect{10, 1, 9, 148}));
    EXPECT_EQ(KnobFrameRect(300, 150), (Rect{20, -7, 280, 156}));
    EXPECT_EQ(EffectListRect(150), (Rect{88, 125, 170, 550}));
    EXPECT_EQ(PresetListRect(150), (Rect{260, 125, 127, 550}));
    EXPECT_EQ(OutButtonRect(300, 150), (Rect{253, 127, 40, 17}));
    EXPECT_EQ(SnapNoiseRect(150), (Rect{264, 127, 70, 17}));
    EXPECT_FALSE(ShowsOutButton(0x3000));
    EXPECT_TRUE(ShowsOutButton(0x3001));
    for (int32_t id = 0; id < 22; ++id) EXPECT_EQ(ShowsSnapNoise(id), id == 4) << id;
    EXPECT_TRUE(KnobLooksDisabled(14, 2, 3));
    EXPECT_FALSE(KnobLooksDisabled(14, 1, 3));
    EXPECT_FALSE(KnobLooksDisabled(15, 2, 3));
}

TEST(WindowLayoutTest, ChannelSwitchesByEffectAndChannelCount) {
    for (int32_t id : {12, 13, 16, 17, 18}) {
        const ChannelSwitches s = ChannelSwitchesFor(id, 2, 150);
        EXPECT_TRUE(s.passOnly) << id;
        EXPECT_EQ(s.channelMask, 3) << id;
    }
    const ChannelSwitches stereo = ChannelSwitchesFor(0, 2, 150);
    EXPECT_FALSE(stereo.passOnly);
    EXPECT_EQ(stereo.channelMask, 3);
    EXPECT_EQ(stereo.left, (Rect{25, 127, 30, 18}));
    EXPECT_EQ(stereo.right, (Rect{55, 127, 30, 18}));
    const ChannelSwitches mono = ChannelSwitchesFor(4, 1, 150);
    EXPECT_TRUE(mono.passOnly);
    EXPECT_EQ(mono.channelMask, 1);
    EXPECT_EQ(mono.pass, (Rect{25, 127, 60, 18}));
    // The audio path's re-lay goes by the count alone, whatever the effect.
    EXPECT_FALSE(ChannelSwitchesByCount(2, 150).passOnly);
    EXPECT_TRUE(ChannelSwitchesByCount(1, 150).passOnly);
    EXPECT_FALSE(ChannelSwitchesByCount(6, 150).passOnly);
}

}  // namespace
}  // namespace orve::ui
