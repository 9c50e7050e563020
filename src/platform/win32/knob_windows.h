#pragma once
// The knob row of the main window: one labelled vertical trackbar per knob
// next to the gain slider, their scroll handling and their custom-drawn thumbs.
#include <windows.h>
#include <commctrl.h>

#include "platform/win32/plugin_window_state.h"
#include "ui/preset_logic.h"
#include "ui/window_actions.h"
#include "ui/window_layout.h"

namespace orve::win32 {

// Knob trackbars carry their knob index as control id; labels follow at this offset.
constexpr int kKnobLabelIdBase = 600;

// Replaces the knob windows by new ones for the knobs of a layout, placed in
// `row`, and places the "Gain" label.
void CreateKnobWindows(HWND window, Win32PluginState& state, const ui::LayoutContent& content,
                       const ui::KnobRow& row, int clientHeight);
// Moves every slider (gain and knobs) to the given positions.
void SetSliderPositions(HWND window, Win32PluginState& state, const ui::SliderPositions& sliders);
// A scroll notification from the gain slider or a knob trackbar.
void OnSliderScrolled(HWND window, Win32PluginState& state, HWND slider);
// Handles NM_CUSTOMDRAW from a trackbar; returns false when the control is not ours.
bool OnTrackbarCustomDraw(Win32PluginState& state, NMCUSTOMDRAW* draw, LRESULT* result);

}  // namespace orve::win32
