#pragma once
// What a knob thumb prints, and the gain slider's position rules.
#include <cstdint>
#include <string>

namespace orve::ui {

// Three significant places at most, in the thumb's 28 pixels: one decimal up
// to 99.9, whole numbers up to 999, then thousands ("k") and millions ("M").
std::string FormatKnobValue(double value);

// Slider position of a preset's gain in dB (truncated toward zero).
int32_t PresetGainPosition(double decibels);

// Gain restored for the user's own row from a stored slider position: the
// decibels are taken in whole steps (position * 120 / 10000 in integers).
double StoredRowGain(int32_t position);

}  // namespace orve::ui
