#include "platform/win32/control_faces.h"

#include "ui/face_drawing.h"

namespace orve::win32 {

void PaintFace(HDC dc, const RECT& rect, bool pressed, const DrawingObjects& drawing) {
    const auto octagon = ui::FaceOctagon(rect.left, rect.top, rect.right, rect.bottom);
    POINT points[8];
    for (int i = 0; i < 8; ++i) points[i] = POINT{octagon[i].x, octagon[i].y};
    HGDIOBJ oldPen = SelectObject(dc, pressed ? drawing.pressedPen : drawing.idlePen);
    HGDIOBJ oldBrush = SelectObject(dc, pressed ? drawing.pressedBrush : drawing.idleBrush);
    Polygon(dc, points, 8);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    const RgbColour corner = ui::FaceCornerColour(pressed ? ui::kPressedFaceColour : ui::kIdleFaceColour);
    for (const ui::Point& p : ui::FaceCorners(rect.left, rect.top, rect.right, rect.bottom))
        SetPixel(dc, p.x, p.y, RGB(corner.red, corner.green, corner.blue));
}

void PaintFaceText(HDC dc, const RECT& rect, const char* text, HFONT font) {
    HGDIOBJ oldFont = SelectObject(dc, font);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour =
        SetTextColor(dc, RGB(ui::kCaptionTextColour.red, ui::kCaptionTextColour.green, ui::kCaptionTextColour.blue));
    RECT box = rect;
    DrawTextA(dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    SelectObject(dc, oldFont);
}

void PaintThumbText(HDC dc, const RECT& rect, const char* text, const DrawingObjects& drawing) {
    int32_t widths[ui::kValueFontCount];
    for (int32_t i = 0; i < ui::kValueFontCount; ++i) {
        HGDIOBJ old = SelectObject(dc, drawing.valueFonts[i]);
        SIZE size{};
        GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
        SelectObject(dc, old);
        widths[i] = size.cx;
    }
    PaintFaceText(dc, rect, text, drawing.valueFonts[ui::ValueFontFor(widths, ui::kValueFontCount)]);
}

}  // namespace orve::win32
