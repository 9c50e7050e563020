#include "ui/meter_paint.h"

#include <gtest/gtest.h>

namespace orve {
namespace {

TEST(MeterColours, DarkGreenAtTheBottomGreenAtTheSplitRedAtTheTop) {
    const int H = 100;  // split at row 75
    EXPECT_EQ(MeterRowColour(0, H), (RgbColour{0, 80, 16}));
    EXPECT_EQ(MeterRowColour(74, H), (RgbColour{15, 252, 16}));
    EXPECT_EQ(MeterRowColour(75, H), (RgbColour{16, 255, 16}));
    EXPECT_EQ(MeterRowColour(99, H), (RgbColour{245, 25, 16}));
    // Yellow half-way above the split.
    const RgbColour mid = MeterRowColour(87, H);
    EXPECT_GT(mid.red, 120);
    EXPECT_GT(mid.green, 120);
}

TEST(MeterUpdates, RisingPaintsTheNewRowsFallingClearsFromTheTop) {
    const MeterUpdate rise = PlanMeterUpdate(20, 50, 80);
    EXPECT_TRUE(rise.Rises());
    EXPECT_FALSE(rise.Clears());
    EXPECT_EQ(rise.firstRow, 16);
    EXPECT_EQ(rise.endRow, 40);

    const MeterUpdate fall = PlanMeterUpdate(50, 20, 80);
    EXPECT_FALSE(fall.Rises());
    EXPECT_TRUE(fall.Clears());
    EXPECT_EQ(fall.clearBottom, 80 - 16);

    const MeterUpdate same = PlanMeterUpdate(30, 30, 80);
    EXPECT_FALSE(same.Rises());
    EXPECT_FALSE(same.Clears());
}

}  // namespace
}  // namespace orve
