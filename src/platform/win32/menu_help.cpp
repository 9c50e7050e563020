#include "platform/win32/menu_help.h"

#include <shellapi.h>

#include <string>

#include "platform/win32/resource_ids.h"
#include "ui/product_links.h"

namespace orve::win32 {
namespace {

bool ShellOpen(const char* target, int show) {
    return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", target, nullptr, nullptr, show)) > 32;
}

}  // namespace

void ShowPopupMenu(HWND window, HMODULE module, int x, int y, bool clientPoint) {
    POINT point{x, y};
    if (clientPoint) ClientToScreen(window, &point);
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDR_POPUP_MENU));
    if (!menu) return;
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, point.x, point.y, 0, window, nullptr);
    // Destroyed whatever the user chose: a menu dismissed with Escape or a
    // click elsewhere would otherwise leak one menu per right click.
    DestroyMenu(menu);
}

void OpenHelp(HMODULE module) {
    char path[ui::kModulePathCapacity];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length > 0 && length < sizeof path) {
        const std::string page = ui::HelpPagePath(std::string(path, length));
        if (!page.empty() && ShellOpen(page.c_str(), SW_SHOWNORMAL)) return;
    }
    ShellOpen(ui::kManualUrl, SW_HIDE);
}

void OpenHomePage() { ShellOpen(ui::kHomePageUrl, SW_HIDE); }

}  // namespace orve::win32
