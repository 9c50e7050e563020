#pragma once
// Scaffolding of the Windows test host: result bookkeeping, a stand-in for
// the player's main window, message pumping and screenshots.
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <type_traits>
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

#if defined(__i386__)
// Calls a cdecl function with the stack 4 bytes past a 16-byte boundary.
intptr_t CallOnMisalignedStack(const void* function, std::initializer_list<intptr_t> args);
#endif

// Calls a function of the plug-in as a player may: in 32-bit code with the
// stack only 4-byte aligned, so that an entry point relying on 16-byte
// alignment for SSE2 spills faults (qemu checks the alignment of aligned SSE
// moves). A plain call in 64-bit code, whose ABI always aligns the stack.
template <typename R, typename... Params, typename... Args>
R CallPlugin(R (*function)(Params...), Args... args) {
#if defined(__i386__)
    auto word = [](auto v) -> intptr_t {
        if constexpr (std::is_pointer_v<decltype(v)>) return reinterpret_cast<intptr_t>(v);
        else return static_cast<intptr_t>(v);
    };
    (void)word;   // unused for a function without arguments
    const intptr_t result = CallOnMisalignedStack(reinterpret_cast<const void*>(function), {word(Params(args))...});
    if constexpr (std::is_pointer_v<R>) return reinterpret_cast<R>(result);
    else if constexpr (!std::is_void_v<R>) return static_cast<R>(result);
#else
    return function(args...);
#endif
}

// Sets the x87 precision word of this thread to 64 or 53 bits, as players
// differ (the host's runtime starts at 64); returns the precision now in force.
int SetFpuPrecision(int bits);

// Client-area rectangle of a child window.
RECT ChildRect(HWND child);
bool IsShown(HWND window);

}  // namespace orve::wintest
