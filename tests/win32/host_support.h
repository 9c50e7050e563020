#pragma once
// Scaffolding of the Windows test host: result bookkeeping, a stand-in for
// the player's main window, message pumping and screenshots.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orve::wintest {

class Checks {
public:
    // Records one expectation; prints it when it fails.
    bool Expect(bool ok, const std::string& what);
    int Failed() const { return failed; }
    // The closing "N passed, M failed" line.
    void Summary() const;

private:
    int passed = 0;
    int failed = 0;
};

std::string Format(const char* format, ...);

// The player's main window as the plug-in sees it: a top-level window of the
// player's class that answers the version query and records the commands the
// plug-in sends it.
struct HostWindow {
    HWND window = nullptr;
    int32_t version = 0;
    int stopCommands = 0;         // WM_COMMAND 40047
    int shutdownMessages = 0;     // WM_USER 2/3011
    int preferenceRequests = 0;   // WM_USER 32/380
};
// className "Winamp v1.x" answers `version`; "Winamp V1.x" is the oldest host.
bool CreateHostWindow(HostWindow& host, const wchar_t* className, int32_t version, int x, int y);
WNDPROC HostWindowOwnProc();

// Handles every pending message for about `milliseconds`; true when WM_QUIT was seen.
bool Pump(int milliseconds);

// Copies the window's screen area, as it is now, into a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const std::string& path);

// Client-area rectangle of a child window.
RECT ChildRect(HWND child);
bool IsShown(HWND window);

}  // namespace orve::wintest
