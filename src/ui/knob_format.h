#pragma once
// What a knob thumb prints, and the gain slider's position rules.
#include <cstdint>
#include <string>

namespace orve::ui {

// Three significant places at most, in the thumb's 28 pixels: one decimal up
// to 99.9, whole numbers up to 999, then thousands ("k") and millions ("M").
std::string FormatKnobValue(double value);

// The number the gain slider's thumb shows: its decibels.
double GainSliderReading(int32_t position);

// Slider position of a preset's gain in dB (the nearest, clamped to 0..10000).
int32_t PresetGainPosition(double decibels);

// Gain restored for the user's own row from a stored slider position.
double StoredRowGain(int32_t position);

}  // namespace orve::ui
