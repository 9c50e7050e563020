// The library's face to the host: the exported header, the module record and
// its callbacks, and the replacement procedure of the host's main window.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <mutex>

#include "platform/win32/main_window.h"
#include "platform/win32/plugin_window_state.h"
#include "platform/win32/winamp_dsp.h"
#include "plugin/audio_path.h"
#include "plugin/effect_worker.h"
#include "ui/window_actions.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace orve::win32 {
namespace {

constexpr UINT kHostVersionQuery = WM_USER;          // wParam 0, lParam 0: the host answers its version
constexpr WPARAM kHostStopCommand = 40047;
constexpr UINT kHostShutdownMessage = WM_USER;       // sent as the host closes
constexpr WPARAM kHostShutdownWParam = 2;
constexpr LPARAM kHostShutdownLParam = 3011;
constexpr int32_t kHostStopsOnClose = 0x1000;        // hosts above this have a stop command
constexpr DWORD kStopSettleMs = 500;
constexpr const char kOldestHostClass[12] = "Winamp V1.x";

// The one process-wide state: constructed when the library is loaded (reading
// the registry), torn down when it is unloaded (writing it back).
Win32PluginState pluginState(reinterpret_cast<HMODULE>(&__ImageBase));

void Config(DspModule* module);
int Init(DspModule* module);
int ModifySamplesCallback(DspModule*, short* samples, int numsamples, int bps, int nch, int srate);
void Quit(DspModule* module);
DspModule* GetModule(int index);

// The two records the host reads.
DspModule moduleRecord = {"ORVE Studio", nullptr, nullptr, Config, Init, ModifySamplesCallback, Quit,
                          &pluginState.effectId};
DspHeader headerRecord = {kDspHeaderVersion, "ORVE Studio 1.2", GetModule};

DspModule* GetModule(int index) { return index == 0 ? &moduleRecord : nullptr; }

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32PluginState& state = pluginState;
    switch (message) {
        case WM_CLOSE:
            if (state.hostVersion > kHostStopsOnClose) {
                SendMessageW(window, WM_COMMAND, kHostStopCommand, 0);
                // Let the audio thread leave ModifySamples before the host goes.
                Sleep(kStopSettleMs);
                Quit(&moduleRecord);
                SendMessageW(window, kHostShutdownMessage, kHostShutdownWParam, kHostShutdownLParam);
                PostQuitMessage(0);
                return 0;
            }
            break;
        case WM_WINDOWPOSCHANGED:
            if (state.mainWindow) {
                HWND player = PlayerWindow(state);
                if (!player) break;
                RECT playerRect{}, ownRect{};
                GetWindowRect(player, &playerRect);
                GetWindowRect(state.mainWindow, &ownRect);
                MoveWindow(state.mainWindow, playerRect.left, playerRect.top - ui::kWindowHeight,
                           ownRect.right - ownRect.left, ownRect.bottom - ownRect.top, TRUE);
            }
            break;
        case WM_KEYUP:
            if (wParam == VK_F12) {
                state.windowOpenMode = WindowOpenMode::AsItWas;
                Config(&moduleRecord);
                return 0;
            }
            break;
        default: break;
    }
    if (!state.previousHostWindowProc) return DefWindowProcW(window, message, wParam, lParam);
    return CallWindowProcW(state.previousHostWindowProc, window, message, wParam, lParam);
}

int32_t ProbeHostVersion(HWND host) {
    char className[51] = {};
    GetClassNameA(host, className, 50);
    if (std::memcmp(className, kOldestHostClass, sizeof kOldestHostClass) == 0) return 0;
    return static_cast<int32_t>(SendMessageW(host, kHostVersionQuery, 0, 0));
}

int Init(DspModule* module) {
    Win32PluginState& state = pluginState;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    state.hostWindow = module->hwndParent;
    state.hostVersion = ProbeHostVersion(module->hwndParent);

    // A second Init without Quit finds our own procedure installed; keeping it
    // as the "previous" one would make the hook call itself forever.
    const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(module->hwndParent, GWLP_WNDPROC));
    if (current != HostWindowProc) {
        state.previousHostWindowProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(module->hwndParent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HostWindowProc)));
    }

    {
        // Room rebuilds run on a worker thread from here until Quit (never
        // from DllMain, which may not wait for a thread).
        PluginState::Lock lock(state.processingLock);
        if (!state.worker) state.worker = std::make_unique<EffectWorker>(EffectWorker::Mode::Thread);
    }
    // A second Init may come while blocks flow: the effect is replaced under
    // the lock, as the window replaces it, never under a ProcessBlock.
    ui::RestartEffect(state);
    state.DestroyWindows();
    OpenMainWindow(state);
    return 0;
}

void Config(DspModule* module) {
    Win32PluginState& state = pluginState;
    if (module->hwndParent) state.hostWindow = module->hwndParent;
    if (!state.mainWindow) OpenMainWindow(state);
}

int ModifySamplesCallback(DspModule*, short* samples, int numsamples, int bps, int nch, int srate) {
    return orve::ModifySamples(pluginState, samples, numsamples, bps, nch, srate);
}

void Quit(DspModule*) {
    Win32PluginState& state = pluginState;
    {
        // The worker never takes this lock, so stopping it here cannot wait
        // on the audio thread; after Quit rebuilds run synchronously again.
        PluginState::Lock lock(state.processingLock);
        state.worker.reset();
    }
    if (state.previousHostWindowProc && state.hostWindow)
        SetWindowLongPtrW(state.hostWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state.previousHostWindowProc));
}

}  // namespace
}  // namespace orve::win32

extern "C" __declspec(dllexport) orve::win32::DspHeader* winampDSPGetHeader2() {
    return &orve::win32::headerRecord;
}
