#include "progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace orve::cli {

ProgressBar::ProgressBar() : enabled(::isatty(STDERR_FILENO) == 1) {}

void ProgressBar::Show(double fraction) {
    if (!enabled) return;
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int step = static_cast<int>(fraction * 200.0);
    if (drawn && step == shown) return;
    const int width = 40;
    const int filled = static_cast<int>(fraction * width);
    std::fprintf(stderr, "\r%3d%% [%-*s]", static_cast<int>(fraction * 100.0), width,
                 std::string(static_cast<size_t>(filled), '#').c_str());
    std::fflush(stderr);
    drawn = true;
    shown = step;
}

void ProgressBar::Clear() {
    if (enabled && drawn) std::fprintf(stderr, "\r%60s\r", "");
    drawn = false;
}

}  // namespace orve::cli
