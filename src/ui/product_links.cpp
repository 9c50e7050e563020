#include "ui/product_links.h"

namespace orve::ui {

std::string HelpPagePath(const std::string& modulePath) {
    const size_t slash = modulePath.rfind('\\');
    if (slash == std::string::npos || modulePath.size() - slash - 1 < 2) return std::string();
    return modulePath.substr(0, slash + 1) + kHelpPageName;
}

}  // namespace orve::ui
