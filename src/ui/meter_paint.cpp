#include "ui/meter_paint.h"

namespace orve {

RgbColour MeterRowColour(int32_t y, int32_t height) {
    const int32_t split = static_cast<int32_t>(0.75 * height);
    if (y < split) {
        return RgbColour{static_cast<uint8_t>(static_cast<int32_t>(16.0 * y / split)),
                         static_cast<uint8_t>(static_cast<int32_t>(175.0 * y / split + 80.0)), 16};
    }
    const double z = y - split;
    const double upper = height - split;
    return RgbColour{static_cast<uint8_t>(static_cast<int32_t>(239.0 * z / upper + 16.0)),
                     static_cast<uint8_t>(static_cast<int32_t>(255.0 - 239.0 * z / upper)), 16};
}

MeterUpdate PlanMeterUpdate(int32_t oldReading, int32_t newReading, int32_t height) {
    MeterUpdate update;
    const int32_t newHeight = static_cast<int32_t>(newReading * height * 0.01);
    const int32_t oldHeight = static_cast<int32_t>(oldReading * height * 0.01);
    if (newReading > oldReading) {
        update.firstRow = oldHeight;
        update.endRow = newHeight;
    } else if (newReading < oldReading) {
        update.clearBottom = height - newHeight;
    }
    return update;
}

}  // namespace orve
