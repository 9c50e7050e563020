#include "win32/host_support.h"

#include <cstdarg>
#include <cstdio>
#include <float.h>

#if defined(__i386__)
// args[0 .. count) are copied to a stack that sits 4 bytes past a 16-byte
// boundary at the call; the callee pops nothing (cdecl).
extern "C" intptr_t OrveCallOnPlayerStack(const void* function, const intptr_t* args, int count);
__asm__(
    ".text\n"
    ".globl _OrveCallOnPlayerStack\n"
    "_OrveCallOnPlayerStack:\n"
    "    push %ebp\n"
    "    mov %esp, %ebp\n"
    "    push %esi\n"
    "    push %edi\n"
    "    mov 12(%ebp), %esi\n"
    "    mov 16(%ebp), %ecx\n"
    "    lea (,%ecx,4), %edx\n"
    "    mov %esp, %eax\n"
    "    sub %edx, %eax\n"
    "    sub $16, %eax\n"
    "    and $-16, %eax\n"
    "    add $4, %eax\n"
    "    mov %eax, %esp\n"
    "    mov %esp, %edi\n"
    "    cld\n"
    "    rep movsl\n"
    "    call *8(%ebp)\n"
    "    lea -8(%ebp), %esp\n"
    "    pop %edi\n"
    "    pop %esi\n"
    "    pop %ebp\n"
    "    ret\n");
#endif

namespace orve::wintest {
namespace {

HostWindow* registeredHost[2] = {nullptr, nullptr};

HostWindow* HostOf(HWND window) {
    for (HostWindow* host : registeredHost)
        if (host && host->window == window) return host;
    return nullptr;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HostWindow* host = HostOf(window);
    if (host) {
        if (message == WM_USER && wParam == 0 && lParam == 0) return host->version;
        if (message == WM_USER && wParam == 2 && lParam == 3011) ++host->shutdownMessages;
        if (message == WM_USER && wParam == 32 && lParam == 380) ++host->preferenceRequests;
        if (message == WM_COMMAND && LOWORD(wParam) == 40047) ++host->stopCommands;
        if (message == WM_CLOSE) return 0;   // the test decides when the host goes
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

uint16_t FpuControlWord() {
    uint16_t word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

}  // namespace

#if defined(__i386__)
intptr_t CallOnMisalignedStack(const void* function, std::initializer_list<intptr_t> args) {
    intptr_t a[8] = {};
    int n = 0;
    for (intptr_t v : args)
        if (n < 8) a[n++] = v;
    return OrveCallOnPlayerStack(function, a, n);
}
#endif

int SetFpuPrecision(int bits) {
    _controlfp(bits == 53 ? _PC_53 : _PC_64, _MCW_PC);
    // The 64-bit runtime may leave the x87 word alone (its own code uses SSE2
    // only); the plug-in's would not, so the word is set in any case.
    uint16_t word = static_cast<uint16_t>((FpuControlWord() & ~0x0300u) | (bits == 53 ? 0x0200u : 0x0300u));
    __asm__ volatile("fldcw %0" : : "m"(word));
    return (FpuControlWord() & 0x0300u) == 0x0200u ? 53 : ((FpuControlWord() & 0x0300u) == 0x0300u ? 64 : 24);
}

bool Checks::Expect(bool ok, const std::string& what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED: %s\n", what.c_str());
        std::fflush(stdout);
    }
    return ok;
}

void Checks::Summary() const {
    std::printf("win32: %d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
}

std::string Format(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

WNDPROC HostWindowOwnProc() { return HostProc; }

bool CreateHostWindow(HostWindow& host, const wchar_t* className, int32_t version, int x, int y) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    host.version = version;
    for (HostWindow*& slot : registeredHost)
        if (!slot) {
            slot = &host;
            break;
        }
    host.window = CreateWindowExW(0, className, L"Player", WS_POPUP | WS_VISIBLE, x, y, 275, 116, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    return host.window != nullptr;
}

bool Pump(int milliseconds) {
    bool quit = false;
    const DWORD end = GetTickCount() + milliseconds;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) quit = true;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (GetTickCount() < end);
    return quit;
}

bool SaveWindowBitmap(HWND window, const std::string& path) {
    GdiFlush();
    RECT r;
    GetWindowRect(window, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;   // bottom-up, as BMP files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    const DWORD imageSize = stride * height;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    bool ok = false;
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
             std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
             std::fwrite(bits, 1, imageSize, out) == imageSize;
        ok = std::fclose(out) == 0 && ok;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

RECT ChildRect(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool IsShown(HWND window) { return window && (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

}  // namespace orve::wintest
