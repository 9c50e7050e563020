#pragma once
// Where the plug-in sends the user for more: its local help page and the two
// pages of the product on the web. The addresses can be set at build time.
#include <string>

namespace orve::ui {

#ifndef ORVE_HOME_PAGE_URL
#define ORVE_HOME_PAGE_URL "https://orve-studio.org/"
#endif
#ifndef ORVE_MANUAL_URL
#define ORVE_MANUAL_URL "https://orve-studio.org/manual/"
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
