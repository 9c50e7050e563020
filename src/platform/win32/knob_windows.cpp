#include "platform/win32/knob_windows.h"

#include <commctrl.h>

#include <mutex>
#include <string>

#include "platform/win32/control_faces.h"
#include "platform/win32/resource_ids.h"
#include "ui/knob_format.h"
#include "ui/window_actions.h"

namespace orve::win32 {
namespace {

void Place(HWND control, const ui::Rect& r) {
    SetWindowPos(control, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

int TextWidth(HWND window, HFONT font, const char* text) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

void SetRange(HWND trackbar, int position) {
    SendMessageA(trackbar, TBM_SETTHUMBLENGTH, ui::kThumbLength, 0);
    SendMessageA(trackbar, TBM_SETRANGEMIN, FALSE, 0);
    SendMessageA(trackbar, TBM_SETRANGEMAX, FALSE, kKnobPositionMax);
    SendMessageA(trackbar, TBM_SETLINESIZE, 0, 1);
    SendMessageA(trackbar, TBM_SETPOS, TRUE, position);
}

void FollowUpPresetList(HWND window, Win32PluginState& state, int32_t presetCount) {
    HWND list = GetDlgItem(window, IDC_PRESET_LIST);
    const int32_t selected = static_cast<int32_t>(SendMessageA(list, CB_GETCURSEL, 0, 0));
    const int32_t row = ui::PresetAfterManualChange(presetCount, selected);
    if (row < 0) return;
    SendMessageA(list, CB_SETCURSEL, row, 0);
    state.presetIndex = row;
}

int KnobIndexOf(const Win32PluginState& state, HWND slider) {
    for (int i = 0; i < kMaxKnobs; ++i)
        if (slider && state.knobWindows[i].knob == slider) return i;
    return -1;
}

}  // namespace

void CreateKnobWindows(HWND window, Win32PluginState& state, const ui::LayoutContent& content,
                       const ui::KnobRow& row, int clientHeight) {
    state.DestroyKnobWindows();
    HFONT font = state.drawing.labelFont;
    for (int i = 0; i < content.knobCount; ++i) {
        const char* text = content.knobs[i].label;
        const ui::Rect labelRect = ui::KnobLabelRect(row, i, TextWidth(window, font, text));
        HWND label = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                     labelRect.x, labelRect.y, labelRect.width, labelRect.height, window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(kKnobLabelIdBase + i)),
                                     state.module, nullptr);
        SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        const ui::Rect knobRect = ui::KnobTrackbarRect(row, i, clientHeight);
        HWND knob = CreateWindowExA(0, TRACKBAR_CLASSA, "",
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBS_VERT | TBS_BOTH | TBS_NOTICKS |
                                        TBS_FIXEDLENGTH,
                                    knobRect.x, knobRect.y, knobRect.width, knobRect.height, window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(i)), state.module, nullptr);
        SetRange(knob, content.sliders.knobs[i]);
        if (ui::KnobLooksDisabled(content.effectId, i, content.knobCount)) EnableWindow(knob, FALSE);
        state.knobWindows[i] = KnobWindowPair{label, knob};
    }
    HWND gainLabel = GetDlgItem(window, IDC_GAIN_LABEL);
    Place(gainLabel, ui::GainLabelRect(row, TextWidth(window, font, "Gain")));
    SendMessageA(gainLabel, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void SetSliderPositions(HWND window, Win32PluginState& state, const ui::SliderPositions& sliders) {
    SetRange(GetDlgItem(window, IDC_GAIN_SLIDER), sliders.gain);
    for (int i = 0; i < sliders.knobCount && i < kMaxKnobs; ++i)
        if (state.knobWindows[i].knob) SendMessageA(state.knobWindows[i].knob, TBM_SETPOS, TRUE, sliders.knobs[i]);
}

void OnSliderScrolled(HWND window, Win32PluginState& state, HWND slider) {
    if (!slider) return;
    if (GetDlgCtrlID(slider) == IDC_GAIN_SLIDER) {
        const int32_t position = static_cast<int32_t>(SendMessageA(slider, TBM_GETPOS, 0, 0));
        FollowUpPresetList(window, state, ui::MoveGain(state, position));
        return;
    }
    if (KnobIndexOf(state, slider) < 0) return;
    // Every knob's position, read from the trackbars before the lock is taken.
    int32_t positions[kMaxKnobs];
    int32_t count = 0;
    while (count < kMaxKnobs && state.knobWindows[count].knob) {
        positions[count] = static_cast<int32_t>(SendMessageA(state.knobWindows[count].knob, TBM_GETPOS, 0, 0));
        ++count;
    }
    FollowUpPresetList(window, state, ui::MoveKnobs(state, positions, count));
}

bool OnTrackbarCustomDraw(Win32PluginState& state, NMCUSTOMDRAW* draw, LRESULT* result) {
    const bool gain = draw->hdr.idFrom == IDC_GAIN_SLIDER;
    const int knob = gain ? -1 : KnobIndexOf(state, draw->hdr.hwndFrom);
    if (!gain && knob < 0) return false;
    switch (draw->dwDrawStage) {
        case CDDS_PREPAINT:
            // Flipping the focus bit keeps a focused trackbar from drawing its
            // dotted focus rectangle over the knob row.
            draw->uItemState ^= CDIS_FOCUS;
            *result = CDRF_NOTIFYITEMDRAW;
            return true;
        case CDDS_ITEMPREPAINT: {
            if (draw->dwItemSpec != TBCD_THUMB) {
                *result = CDRF_DODEFAULT;
                return true;
            }
            RECT thumb = draw->rc;
            if (thumb.right > ui::kTrackbarWidth) thumb.right = ui::kTrackbarWidth;
            PaintFace(draw->hdc, thumb, (draw->uItemState & CDIS_SELECTED) != 0, state.drawing);
            const int32_t position = static_cast<int32_t>(SendMessageA(draw->hdr.hwndFrom, TBM_GETPOS, 0, 0));
            const std::string text = gain ? ui::GainThumbText(position) : ui::KnobThumbText(state, knob, position);
            PaintThumbText(draw->hdc, thumb, text.c_str(), state.drawing);
            *result = CDRF_SKIPDEFAULT;
            return true;
        }
        default:
            *result = CDRF_DODEFAULT;
            return true;
    }
}

}  // namespace orve::win32
