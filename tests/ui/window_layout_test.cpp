#include "ui/window_layout.h"

#include <gtest/gtest.h>

namespace orve::ui {
namespace {

// The widest layout, 31 knobs in the narrow host's GEQ-31 window: the knob
// columns truncate, yet no two trackbars overlap and the last stays inside.
TEST(WindowLayoutTest, ThirtyOneKnobsNeverOverlap) {
    const int32_t client = WindowWidth(EffectId::Geq31Bands, 0) - 6;
    const KnobRow row = KnobRowFor(client, 31);
    for (int k = 1; k < 31; ++k)
        EXPECT_GE(KnobTrackbarRect(row, k, 150).x - KnobTrackbarRect(row, k - 1, 150).x, kTrackbarWidth) << k;
    EXPECT_LE(KnobTrackbarRect(row, 30, 150).x + kTrackbarWidth, client);
}

}  // namespace
}  // namespace orve::ui
