#pragma once
// The plug-in window: dialog 101, docked above the host's player window.
#include <windows.h>

#include "platform/win32/plugin_window_state.h"

namespace orve::win32 {

constexpr const char* kWindowTitle = "ORVE Studio V1.2";
constexpr UINT_PTR kMeterTimer = 99;
constexpr UINT kMeterTimerPeriodMs = 1000;
constexpr int kPlayerWindowHeightOffset = ui::kWindowHeight;

// Creates and shows the main window owned by state.hostWindow, unless it exists.
void OpenMainWindow(Win32PluginState& state);
// The host's player window, or its main window when there is no separate one.
HWND PlayerWindow(const Win32PluginState& state);

}  // namespace orve::win32
