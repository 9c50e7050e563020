#include "ui/face_drawing.h"

namespace orve::ui {

std::array<Point, 8> FaceOctagon(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const int32_t r = right - 1, b = bottom - 1;   // last pixel column and row
    return {{{left + 1, top}, {r - 1, top}, {r, top + 1}, {r, b - 1},
             {r - 1, b}, {left + 1, b}, {left, b - 1}, {left, top + 1}}};
}

std::array<Point, 4> FaceCorners(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return {{{left, top}, {right - 1, top}, {left, bottom - 1}, {right - 1, bottom - 1}}};
}

RgbColour FaceCornerColour(const RgbColour& outline) {
    // 0.6 x background (49, 52, 82) = 29.4, 31.2, 49.2.
    return RgbColour{static_cast<uint8_t>(static_cast<int32_t>(0.4 * outline.red + 29.4)),
                     static_cast<uint8_t>(static_cast<int32_t>(0.4 * outline.green + 31.2)),
                     static_cast<uint8_t>(static_cast<int32_t>(0.4 * outline.blue + 49.2))};
}

int32_t PassSwitchMask(bool passChecked, int32_t channels) {
    if (passChecked) return 0;
    // A bare 1 would leave the right channel of a stereo stream without its
    // gain for the effects that show PASS alone on stereo material.
    return channels == 1 ? 1 : 3;
}

}  // namespace orve::ui
