#include "platform/win32/main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <mutex>
#include <string>

#include "platform/win32/control_faces.h"
#include "platform/win32/knob_windows.h"
#include "platform/win32/menu_help.h"
#include "platform/win32/resource_ids.h"
#include "plugin/effect_catalogue.h"
#include "ui/face_drawing.h"
#include "ui/preset_logic.h"
#include "ui/window_actions.h"
#include "ui/window_layout.h"

namespace orve::win32 {
namespace {

constexpr UINT kHostMessageOpenPreferences = WM_USER;
constexpr WPARAM kOutputPreferencesPage = 32;
constexpr LPARAM kOpenPreferencesCommand = 380;

Win32PluginState* StateOf(HWND window) {
    return reinterpret_cast<Win32PluginState*>(GetWindowLongPtrW(window, DWLP_USER));
}

void Place(HWND window, int item, const ui::Rect& r) {
    SetWindowPos(GetDlgItem(window, item), nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowItem(HWND window, int item, bool show) { ShowWindow(GetDlgItem(window, item), show ? SW_SHOW : SW_HIDE); }

void SetFont(HWND window, int item, HFONT font) {
    SendMessageW(GetDlgItem(window, item), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// The catalogue's GB2312 diamond rendered as the Unicode diamond, so the list
// reads the same whatever the system's ANSI code page.
std::wstring EffectListText(const EffectEntry& effect) {
    std::wstring text(1, effect.GlyphIsBlack() ? L'\x25C6' : L'\x25C7');
    for (const char* c = effect.Text(); *c; ++c) text += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return text;
}

void FocusGainSlider(HWND window) { SetFocus(GetDlgItem(window, IDC_GAIN_SLIDER)); }

void FillEffectList(HWND window, EffectId effectId) {
    HWND list = GetDlgItem(window, IDC_EFFECT_LIST);
    if (SendMessageW(list, CB_GETCOUNT, 0, 0) == 0)
        for (const EffectEntry& effect : OfferedEffects())
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(EffectListText(effect).c_str()));
    SendMessageW(list, CB_SETCURSEL, EffectNumber(effectId), 0);
    SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), ui::kSelectionFieldHeight);
}

void FillPresetList(HWND window, const ui::LayoutContent& content, int clientHeight) {
    HWND list = GetDlgItem(window, IDC_PRESET_LIST);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    if (content.presetNames.empty()) {
        ShowWindow(list, SW_HIDE);
        return;
    }
    for (const std::string& name : content.presetNames)
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    Place(window, IDC_PRESET_LIST, ui::PresetListRect(clientHeight));
    ShowWindow(list, SW_SHOW);
    SendMessageW(list, CB_SETCURSEL, content.shownPreset, 0);
    SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), ui::kSelectionFieldHeight);
}

// Places the window above the player and every control in it for the current
// effect; runs at opening and after every change of effect.
void LayOut(HWND window, Win32PluginState& state) {
    // The opening rules and a copy of everything shown, in one hold of the lock.
    const ui::LayoutContent content = ui::PrepareLayout(state);
    HWND player = PlayerWindow(state);
    RECT playerRect{};
    if (player) GetWindowRect(player, &playerRect);
    const int width = ui::WindowWidth(content.effectId, state.hostVersion);
    SetWindowPos(window, nullptr, playerRect.left, playerRect.top - ui::kWindowHeight, width, ui::kWindowHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ShowWindow(window, SW_SHOW);
    if (player)
        SetWindowPos(player, nullptr, playerRect.left, playerRect.top, width, playerRect.bottom - playerRect.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);

    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
    RECT client;
    GetClientRect(window, &client);
    const int W = client.right, H = client.bottom;

    const ui::KnobRow row = ui::KnobRowFor(W, content.knobCount);

    Place(window, IDC_GAIN_SLIDER, ui::GainSliderRect(row, H));
    SetSliderPositions(window, state, ui::SliderPositions{content.sliders.gain, {}, 0});
    Place(window, IDC_METER_LEFT, ui::MeterRect(false, H));
    Place(window, IDC_METER_RIGHT, ui::MeterRect(true, H));
    Place(window, IDC_KNOB_FRAME, ui::KnobFrameRect(W, H));

    const ui::ChannelSwitches switches = ui::ChannelSwitchesFor(content.effectId, content.channels, H);
    ApplyChannelSwitches(window, switches, state.drawing.labelFont);
    state.channelMask = switches.channelMask;

    Place(window, IDC_EFFECT_LIST, ui::EffectListRect(H));
    FillEffectList(window, content.effectId);

    if (ui::ShowsOutButton(state.hostVersion)) Place(window, IDC_OUT_BUTTON, ui::OutButtonRect(W, H));
    ShowItem(window, IDC_OUT_BUTTON, ui::ShowsOutButton(state.hostVersion));
    if (ui::ShowsSnapNoise(content.effectId)) Place(window, IDC_SNAP_NOISE, ui::SnapNoiseRect(H));
    ShowItem(window, IDC_SNAP_NOISE, ui::ShowsSnapNoise(content.effectId));

    CreateKnobWindows(window, state, content, row, H);
    FillPresetList(window, content, H);

    state.windowOpenMode = WindowOpenMode::StoredSetting;
    SetTimer(window, kMeterTimer, kMeterTimerPeriodMs, nullptr);
    InvalidateRect(window, nullptr, TRUE);
}

void OnInitDialog(HWND window, Win32PluginState& state) {
    state.mainWindow = window;
    HICON icon = LoadIconA(state.module, MAKEINTRESOURCEA(IDI_PLUGIN_ICON));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    for (int item : {IDC_EFFECT_LIST, IDC_PRESET_LIST, IDC_SWITCH_LEFT, IDC_SWITCH_RIGHT, IDC_SWITCH_PASS,
                     IDC_GAIN_LABEL, IDC_SNAP_NOISE, IDC_OUT_BUTTON})
        SetFont(window, item, state.drawing.labelFont);
    // No dotted focus rectangles over the knob row (the thumbs' custom drawing
    // drops the focus state too, but not every trackbar honours that).
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
    LayOut(window, state);
}

void OnEffectSelected(HWND window, Win32PluginState& state) {
    const int32_t index = static_cast<int32_t>(SendDlgItemMessageW(window, IDC_EFFECT_LIST, CB_GETCURSEL, 0, 0));
    if (ui::SelectEffect(state, index)) {
        ShowWindow(window, SW_HIDE);
        LayOut(window, state);
    }
    FocusGainSlider(window);
}

void OnPresetSelected(HWND window, Win32PluginState& state) {
    const int32_t index = static_cast<int32_t>(SendDlgItemMessageW(window, IDC_PRESET_LIST, CB_GETCURSEL, 0, 0));
    ui::SliderPositions sliders;
    // A preset changes every knob at once, in one hold of the lock: no block
    // mixes the old row's values with the new one's.
    if (ui::ChoosePreset(state, index, sliders)) SetSliderPositions(window, state, sliders);
    FocusGainSlider(window);
}

void OnChannelSwitch(HWND window, Win32PluginState& state, int item) {
    if (item == IDC_SWITCH_PASS) {
        ui::SetPassSwitch(state, IsDlgButtonChecked(window, IDC_SWITCH_PASS) == BST_CHECKED);
    } else {
        ui::SetChannelSwitches(state, IsDlgButtonChecked(window, IDC_SWITCH_LEFT) == BST_CHECKED,
                               IsDlgButtonChecked(window, IDC_SWITCH_RIGHT) == BST_CHECKED);
    }
    FocusGainSlider(window);
}

void OnTimer(HWND window, Win32PluginState& state) {
    if (state.meterResetRequest) {
        // No block arrived for a whole tick: playback stopped, blank the meters.
        for (int item : {IDC_METER_LEFT, IDC_METER_RIGHT}) {
            HWND meter = GetDlgItem(window, item);
            RECT client;
            GetClientRect(meter, &client);
            HDC dc = GetDC(meter);
            FillRect(dc, &client, state.drawing.background);
            ReleaseDC(meter, dc);
        }
    } else {
        state.meterResetRequest = 1;
    }
    SetWindowTextA(window, kWindowTitle);
}

void OnClose(HWND window, Win32PluginState& state) {
    KillTimer(window, kMeterTimer);
    DestroyWindow(window);
    state.mainWindow = nullptr;
    state.DestroyKnobWindows();
}

bool OnCommand(HWND window, Win32PluginState& state, int item, int code) {
    switch (item) {
        case IDC_EFFECT_LIST:
            if (code == CBN_SELCHANGE) OnEffectSelected(window, state);
            return true;
        case IDC_PRESET_LIST:
            if (code == CBN_SELCHANGE) OnPresetSelected(window, state);
            return true;
        case IDC_SWITCH_LEFT:
        case IDC_SWITCH_RIGHT:
        case IDC_SWITCH_PASS:
            if (code == BN_CLICKED) OnChannelSwitch(window, state, item);
            return true;
        case IDC_SNAP_NOISE:
            // The button is shown for the noise remover only; the action itself
            // acts on that effect alone.
            if (code == BN_CLICKED) ui::PressSnapNoise(state);
            FocusGainSlider(window);
            return true;
        case IDC_OUT_BUTTON:
            if (code == BN_CLICKED)
                SendMessageW(state.hostWindow, kHostMessageOpenPreferences, kOutputPreferencesPage,
                             kOpenPreferencesCommand);
            return true;
        case IDM_HOME:
            OpenHomePage();
            return true;
        case IDM_HELP:
            OpenHelp(state.module);
            return true;
        default:
            return false;
    }
}

void OnDrawItem(Win32PluginState& state, const DRAWITEMSTRUCT* item) {
    char caption[32];
    GetWindowTextA(item->hwndItem, caption, sizeof caption);
    PaintFace(item->hDC, item->rcItem, (item->itemState & ODS_SELECTED) != 0, state.drawing);
    PaintFaceText(item->hDC, item->rcItem, caption, state.drawing.labelFont);
}

INT_PTR ControlColour(Win32PluginState& state, HDC dc) {
    SetTextColor(dc, RGB(ui::kControlTextColour.red, ui::kControlTextColour.green, ui::kControlTextColour.blue));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(state.drawing.background);
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        OnInitDialog(window, *reinterpret_cast<Win32PluginState*>(lParam));
        return TRUE;
    }
    Win32PluginState* state = StateOf(window);
    if (!state) return FALSE;
    switch (message) {
        case WM_COMMAND:
            return OnCommand(window, *state, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        case WM_VSCROLL:
            OnSliderScrolled(window, *state, reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            LRESULT result = 0;
            if (header->code == static_cast<UINT>(NM_CUSTOMDRAW) &&
                OnTrackbarCustomDraw(*state, reinterpret_cast<NMCUSTOMDRAW*>(lParam), &result)) {
                SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
                return TRUE;
            }
            return FALSE;
        }
        case WM_DRAWITEM:
            OnDrawItem(*state, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            return ControlColour(*state, reinterpret_cast<HDC>(wParam));
        case WM_TIMER:
            if (wParam == kMeterTimer) OnTimer(window, *state);
            return TRUE;
        case WM_RBUTTONDOWN:
            ShowPopupMenu(window, state->module, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), true);
            return TRUE;
        case WM_CONTEXTMENU: {
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (lParam == -1) GetCursorPos(&point);   // from the keyboard: at the pointer
            ShowPopupMenu(window, state->module, point.x, point.y, false);
            return TRUE;
        }
        case WM_HELP:
            OpenHelp(state->module);
            return TRUE;
        case WM_CLOSE:
            OnClose(window, *state);
            return TRUE;
        case WM_DESTROY:
            KillTimer(window, kMeterTimer);
            if (state->mainWindow == window) state->mainWindow = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

HWND PlayerWindow(const Win32PluginState& state) {
    HWND player = FindWindowA("BaseWindow_RootWnd", "Player Window");
    return player ? player : state.hostWindow;
}

void OpenMainWindow(Win32PluginState& state) {
    if (state.mainWindow) return;
    HWND window = CreateDialogParamW(state.module, MAKEINTRESOURCEW(IDD_MAIN_WINDOW), state.hostWindow,
                                     MainWindowProc, reinterpret_cast<LPARAM>(&state));
    state.mainWindow = window;   // null on failure: Config tries again
    if (window) ShowWindow(window, SW_SHOW);
}

}  // namespace orve::win32
