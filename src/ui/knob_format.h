#pragma once
// What a knob thumb prints, and the gain slider's position rules.
#include <cstdint>
#include <string>

namespace orve::ui {

// Three significant places at most: one decimal up to 99.9, whole numbers up
// to 999, then thousands ("k") and millions ("M"), truncated, with the sign
// and without padding. Every knob of the catalogue and the gain slider read
// in at most five glyphs ("-60.0", "100k").
std::string FormatKnobValue(double value);

// The thumbs of the gain slider and the knobs: kThumbLength pixels across the
// 28-pixel trackbar, their text drawn between the outline's columns.
constexpr int32_t kThumbLength = 26;
constexpr int32_t kThumbTextWidth = kThumbLength - 2;

// A font as the window asks for it: face, cell height, average character
// width (0: the face's own proportions), weight. Proportional, so that the
// sign and the point take less room than the digits.
struct FontShape {
    const char* face;
    int32_t height;
    int32_t width;
    int32_t weight;
};
// The value fonts from the preferred to the narrowest: a thumb's text is drawn
// in the first in which it fits kThumbTextWidth, so that sign, digits and
// suffix always show whole, whatever face the system substitutes.
constexpr FontShape kValueFonts[] = {{"Small Fonts", 11, 0, 400}, {"Small Fonts", 11, 4, 400}};
constexpr int32_t kValueFontCount = 2;
// The font to draw a text in, given its width in each value font.
int32_t ValueFontFor(const int32_t* textWidths, int32_t count);

// Slider position of a preset's gain in dB (the nearest, clamped to 0..10000).
int32_t PresetGainPosition(double decibels);

// Gain restored for the user's own row from a stored slider position.
double StoredRowGain(int32_t position);

}  // namespace orve::ui
