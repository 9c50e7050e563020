#pragma once
// Pixel rules of the two level meters, independent of any window system.
#include <cstdint>

namespace orve {

struct RgbColour {
    uint8_t red, green, blue;
    bool operator==(const RgbColour& o) const { return red == o.red && green == o.green && blue == o.blue; }
};

// The window background, also the colour an emptied meter falls back to.
constexpr RgbColour kBackgroundColour{0x31, 0x34, 0x52};

// Colour of pixel row y (counted from the bottom) of a meter `height` pixels
// high: dark green brightening to full green at three quarters of the height,
// then through yellow to red at the top.
RgbColour MeterRowColour(int32_t y, int32_t height);

// What one meter update paints, for readings 0..100 on a meter of `height`
// pixels: rows [firstRow, endRow) counted from the bottom, each one pixel high
// in its MeterRowColour, when rising; the rectangle from the top down to
// clearBottom (window coordinates, exclusive) in the background colour when
// falling; nothing when equal.
struct MeterUpdate {
    int32_t firstRow = 0;
    int32_t endRow = 0;
    int32_t clearBottom = 0;
    bool Rises() const { return endRow > firstRow; }
    bool Clears() const { return clearBottom > 0; }
};
MeterUpdate PlanMeterUpdate(int32_t oldReading, int32_t newReading, int32_t height);

}  // namespace orve
