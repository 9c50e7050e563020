#include "platform/win32/plugin_window_state.h"

#include <memory>

#include "platform/win32/registry_settings_store.h"
#include "platform/win32/resource_ids.h"
#include "ui/face_drawing.h"
#include "ui/meter_paint.h"
#include "ui/window_layout.h"

namespace orve::win32 {
namespace {

COLORREF Colour(const RgbColour& c) { return RGB(c.red, c.green, c.blue); }

HFONT FontLike(HFONT model, const char* face, int height, int width, int weight) {
    LOGFONTA base{};
    GetObjectA(model, sizeof base, &base);
    return CreateFontA(height, width, base.lfEscapement, base.lfOrientation, weight, base.lfItalic,
                       base.lfUnderline, base.lfStrikeOut, ANSI_CHARSET, base.lfOutPrecision, base.lfClipPrecision,
                       base.lfQuality, base.lfPitchAndFamily, face);
}

void Place(HWND control, const ui::Rect& r) {
    SetWindowPos(control, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

// A fixed-pitch 7-pixel cell needs 35 pixels for "-60.0" and the thumb has
// 24: the value fonts are proportional, at the face's own width or narrower.
HFONT CreateValueFont(const ui::FontShape& shape) {
    return CreateFontA(shape.height, shape.width, 0, 0, shape.weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, shape.face);
}

Win32PluginState::Win32PluginState(HMODULE moduleIn)
    : PluginState(std::make_unique<RegistrySettingsStore>(), &resourceKernels, &windowUi),
      module(moduleIn), resourceKernels(moduleIn), windowUi(*this) {
    drawing.background = CreateSolidBrush(Colour(kBackgroundColour));
    // The label font inherits everything but face, size and weight from the
    // stock fixed-pitch font, so it looks alike on every system.
    HFONT stock = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
    for (int32_t i = 0; i < ui::kValueFontCount; ++i) drawing.valueFonts[i] = CreateValueFont(ui::kValueFonts[i]);
    drawing.labelFont = FontLike(stock, "Microsoft Sans Serif", 14, 6, 400);
    drawing.idlePen = CreatePen(PS_SOLID, 1, Colour(ui::kIdleFaceColour));
    drawing.idleBrush = CreateSolidBrush(Colour(ui::kIdleFaceFill));
    drawing.pressedPen = CreatePen(PS_SOLID, 1, Colour(ui::kPressedFaceColour));
    drawing.pressedBrush = CreateSolidBrush(Colour(ui::kPressedFaceFill));
}

Win32PluginState::~Win32PluginState() {
    ReleaseAudio();
    DestroyWindows();
    for (HFONT font : drawing.valueFonts)
        if (font) DeleteObject(font);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(drawing.background),
                           static_cast<HGDIOBJ>(drawing.labelFont), static_cast<HGDIOBJ>(drawing.idlePen),
                           static_cast<HGDIOBJ>(drawing.idleBrush), static_cast<HGDIOBJ>(drawing.pressedPen),
                           static_cast<HGDIOBJ>(drawing.pressedBrush)})
        if (object) DeleteObject(object);
    drawing = DrawingObjects{};
}

void Win32PluginState::DestroyKnobWindows() {
    for (KnobWindowPair& pair : knobWindows) {
        if (pair.label && IsWindow(pair.label)) DestroyWindow(pair.label);
        if (pair.knob && IsWindow(pair.knob)) DestroyWindow(pair.knob);
        pair = KnobWindowPair{};
    }
}

void Win32PluginState::DestroyWindows() {
    if (mainWindow && IsWindow(mainWindow)) DestroyWindow(mainWindow);
    mainWindow = nullptr;
    DestroyKnobWindows();
}

// ---------------------------------------------------------------------------

void WindowHostUi::ShowError(const char* text) {
    MessageBoxA(state.hostWindow, text, kErrorCaption, MB_OK);
}

bool WindowHostUi::HasMainWindow() const { return state.mainWindow != nullptr; }

void WindowHostUi::DrawMeter(int32_t item, int32_t from, int32_t to) {
    HWND meter = GetDlgItem(state.mainWindow, item);
    if (!meter) return;
    RECT client;
    GetClientRect(meter, &client);
    const int32_t width = client.right, height = client.bottom;
    const MeterUpdate update = PlanMeterUpdate(from, to, height);
    if (!update.Rises() && !update.Clears()) return;
    HDC dc = GetDC(meter);
    if (update.Rises()) {
        HGDIOBJ previous = SelectObject(dc, GetStockObject(DC_BRUSH));
        for (int32_t y = update.firstRow; y < update.endRow; ++y) {
            SetDCBrushColor(dc, Colour(MeterRowColour(y, height)));
            RECT row{0, height - y - 1, width, height - y};
            FillRect(dc, &row, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
        }
        SelectObject(dc, previous);
    } else {
        RECT top{0, 0, width, update.clearBottom};
        FillRect(dc, &top, state.drawing.background);
    }
    ReleaseDC(meter, dc);
}

void ApplyChannelSwitches(HWND window, const ui::ChannelSwitches& layout, HFONT labelFont) {
    HWND pass = GetDlgItem(window, IDC_SWITCH_PASS);
    HWND left = GetDlgItem(window, IDC_SWITCH_LEFT);
    HWND right = GetDlgItem(window, IDC_SWITCH_RIGHT);
    if (layout.passOnly) {
        ShowWindow(left, SW_HIDE);
        ShowWindow(right, SW_HIDE);
        Place(pass, layout.pass);
        ShowWindow(pass, SW_SHOW);
        SendMessageA(pass, BM_SETCHECK, BST_UNCHECKED, 0);
    } else {
        ShowWindow(pass, SW_HIDE);
        Place(left, layout.left);
        Place(right, layout.right);
        ShowWindow(left, SW_SHOW);
        ShowWindow(right, SW_SHOW);
        SendMessageA(left, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont), TRUE);
        SendMessageA(right, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont), TRUE);
        SendMessageA(left, BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(right, BM_SETCHECK, BST_CHECKED, 0);
    }
}

void WindowHostUi::LayChannelSwitches(int32_t channels) {
    HWND window = state.mainWindow;
    if (!window) return;
    RECT client;
    GetClientRect(window, &client);
    ApplyChannelSwitches(window, ui::ChannelSwitchesByCount(channels, client.bottom), state.drawing.labelFont);
}

}  // namespace orve::win32
