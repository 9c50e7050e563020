#pragma once
// GDI painting of the octagonal faces shared by the owner-drawn buttons and
// the knob thumbs.
#include <windows.h>

#include "platform/win32/plugin_window_state.h"

namespace orve::win32 {

void PaintFace(HDC dc, const RECT& rect, bool pressed, const DrawingObjects& drawing);
// Centred single-line caption in the dark caption colour, transparent background.
void PaintFaceText(HDC dc, const RECT& rect, const char* text, HFONT font);
// A thumb's value, in the first value font in which it fits (ui::ValueFontFor).
void PaintThumbText(HDC dc, const RECT& rect, const char* text, const DrawingObjects& drawing);

}  // namespace orve::win32
