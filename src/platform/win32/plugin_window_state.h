#pragma once
// The plug-in's process-wide state on Windows: the portable state plus the
// window handles, the drawing objects and what the host told Init.
#include <windows.h>

#include "plugin/plugin_state.h"
#include "platform/win32/resource_kernels.h"
#include "ui/knob_format.h"
#include "ui/window_layout.h"

namespace orve::win32 {

class Win32PluginState;

// What the audio path does to the window: meters, channel switches, errors.
class WindowHostUi : public HostUi {
public:
    explicit WindowHostUi(Win32PluginState& state) : state(state) {}
    void ShowError(const char* text) override;
    bool HasMainWindow() const override;
    void DrawMeter(int32_t item, int32_t from, int32_t to) override;
    void LayChannelSwitches(int32_t channels) override;

private:
    Win32PluginState& state;
};

struct KnobWindowPair {
    HWND label = nullptr;
    HWND knob = nullptr;
};

// Created at load, deleted at unload.
struct DrawingObjects {
    HBRUSH background = nullptr;
    HFONT valueFonts[ui::kValueFontCount] = {};   // thumb texts, preferred first
    HFONT labelFont = nullptr;    // controls, labels, button captions
    HPEN idlePen = nullptr;
    HBRUSH idleBrush = nullptr;
    HPEN pressedPen = nullptr;
    HBRUSH pressedBrush = nullptr;
};

class Win32PluginState : public PluginState {
public:
    // module: this library, whose resources and registry settings it uses.
    explicit Win32PluginState(HMODULE module);
    // Releases the audio, destroys the windows and the drawing objects; the
    // base then writes the settings.
    ~Win32PluginState() override;

    // Destroys the main window and every knob and label window, and forgets them.
    void DestroyWindows();
    // Destroys the knob and label windows only (before a new layout).
    void DestroyKnobWindows();

    HMODULE module;
    HWND hostWindow = nullptr;               // the host's main window, from Init and Config
    int32_t hostVersion = 0;
    WNDPROC previousHostWindowProc = nullptr;
    HWND mainWindow = nullptr;
    KnobWindowPair knobWindows[kMaxKnobs];
    DrawingObjects drawing;

private:
    ResourceKernels resourceKernels;
    WindowHostUi windowUi;
};

// A value font of the thumbs (ui::kValueFonts).
HFONT CreateValueFont(const ui::FontShape& shape);

// Shows PASS alone or L and R, placed and checked as the layout says.
void ApplyChannelSwitches(HWND window, const ui::ChannelSwitches& layout, HFONT labelFont);

}  // namespace orve::win32
