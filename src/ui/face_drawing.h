#pragma once
// Shapes and colours of the plug-in's own controls: the octagonal faces of
// the owner-drawn buttons and knob thumbs, and the channel-switch rule.
#include <array>
#include <cstdint>

#include "ui/meter_paint.h"

namespace orve::ui {

constexpr RgbColour kIdleFaceColour{190, 95, 7};       // pen 1 (outline) when idle
constexpr RgbColour kIdleFaceFill{247, 166, 74};       // brush 1
constexpr RgbColour kPressedFaceColour{63, 255, 63};   // pen 2 when pressed or dragged
constexpr RgbColour kPressedFaceFill{63, 173, 27};     // brush 2
constexpr RgbColour kControlTextColour{20, 200, 50};
constexpr RgbColour kCaptionTextColour{40, 50, 10};

struct Point {
    int32_t x, y;
};

// The octagon covering [left, right) x [top, bottom) with each corner cut by
// one pixel, as polygon vertices.
std::array<Point, 8> FaceOctagon(int32_t left, int32_t top, int32_t right, int32_t bottom);
// The four cut-off corner pixels.
std::array<Point, 4> FaceCorners(int32_t left, int32_t top, int32_t right, int32_t bottom);
// A cut-off corner pixel: 40 % of the outline colour over 60 % of the
// background, so the octagon's edge looks smooth.
RgbColour FaceCornerColour(const RgbColour& outline);

// The channel mask after the PASS switch was clicked: 0 when checked;
// otherwise every channel of the stream (PASS stands alone for mono streams,
// and for the effects that always process the pair).
int32_t PassSwitchMask(bool passChecked, int32_t channels);

}  // namespace orve::ui
