#include "ui/meter_paint.h"

#include <gtest/gtest.h>

namespace orve {
namespace {

TEST(MeterPaintTest, ColoursRunFromDarkGreenThroughGreenToRed) {
    const int32_t height = 100;   // split at row 75
    EXPECT_EQ(MeterRowColour(0, height), (RgbColour{0, 80, 16}));
    EXPECT_EQ(MeterRowColour(74, height), (RgbColour{15, 252, 16}));
    EXPECT_EQ(MeterRowColour(75, height), (RgbColour{16, 255, 16}));    // the split: full green
    EXPECT_EQ(MeterRowColour(99, height), (RgbColour{245, 25, 16}));    // near the top: red
    EXPECT_EQ(MeterRowColour(100, height), (RgbColour{255, 16, 16}));
}

TEST(MeterPaintTest, UpdatesPaintRisesAndClearFalls) {
    const MeterUpdate rise = PlanMeterUpdate(20, 50, 148);
    EXPECT_TRUE(rise.Rises());
    EXPECT_FALSE(rise.Clears());
    EXPECT_EQ(rise.firstRow, 29);   // trunc(20 * 1.48)
    EXPECT_EQ(rise.endRow, 74);
    const MeterUpdate fall = PlanMeterUpdate(50, 20, 148);
    EXPECT_FALSE(fall.Rises());
    EXPECT_EQ(fall.clearBottom, 148 - 29);
    const MeterUpdate same = PlanMeterUpdate(40, 40, 148);
    EXPECT_FALSE(same.Rises());
    EXPECT_FALSE(same.Clears());
}

}  // namespace
}  // namespace orve
