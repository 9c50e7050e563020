#pragma once
// Where the plug-in sends the user for more: its local help page and the two
// pages of the product on the web. The addresses are build settings (the
// CMake cache variables of the same names), so a DLL carries fixed ones.
#include <string>

namespace orve::ui {

#if !defined(ORVE_HOME_PAGE_URL) || !defined(ORVE_MANUAL_URL)
#error "ORVE_HOME_PAGE_URL and ORVE_MANUAL_URL come from the build (orve_core's compile definitions)"
#endif
constexpr const char* kHomePageUrl = ORVE_HOME_PAGE_URL;
constexpr const char* kManualUrl = ORVE_MANUAL_URL;

// The help page, relative to the directory of the plug-in's module file.
constexpr const char* kHelpPageName = "ORVEStudio/help.html";
// The module path is read into a buffer of this many characters.
constexpr int kModulePathCapacity = 200;

// The help page beside the module whose full path is modulePath, or an empty
// string when the path has no backslash with at least two characters after it
// (then only the online manual is left).
std::string HelpPagePath(const std::string& modulePath);

}  // namespace orve::ui
