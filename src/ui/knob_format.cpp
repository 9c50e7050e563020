#include "ui/knob_format.h"

#include <cmath>
#include <cstdio>

namespace orve::ui {

std::string FormatKnobValue(double value) {
    char text[32];
    const double a = std::fabs(value);
    if (a <= 9.0) std::snprintf(text, sizeof text, "%3.1f", value);
    else if (a <= 99.9) std::snprintf(text, sizeof text, "%4.1f", value);
    else if (a <= 999.0) std::snprintf(text, sizeof text, "%3d", static_cast<int>(value));
    else if (a <= 1000000.0) std::snprintf(text, sizeof text, "%3dk", static_cast<int>(value * 0.001));
    else std::snprintf(text, sizeof text, "%3dM", static_cast<int>(std::fmax(std::fmin(value * 0.000001, 2e9), -2e9)));
    return text;
}

int32_t PresetGainPosition(double decibels) { return static_cast<int32_t>((60.0 - decibels) * 10000.0 / 120.0); }

double StoredRowGain(int32_t position) {
    const int32_t decibels = 60 - position * 120 / 10000;
    return std::pow(10.0, decibels / 20.0);
}

}  // namespace orve::ui
