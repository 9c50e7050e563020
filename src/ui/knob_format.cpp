#include "ui/knob_format.h"

#include <cmath>
#include <cstdio>

#include "plugin/plugin_state.h"

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

double GainSliderReading(int32_t position) { return 60.0 - 0.012 * position; }

// Rounded like every other value-to-position conversion, so that the slider
// stands where the row's gain saves.
int32_t PresetGainPosition(double decibels) { return ClampPosition(std::round((60.0 - decibels) * 10000.0 / 120.0)); }

// The slider's own gain at the stored position. Whole decibels (the position
// scaled in integers) would apply up to a decibel more than the slider shows,
// and the next save would store that gain's position instead of the user's.
double StoredRowGain(int32_t position) { return GainPositionToFactor(position); }

}  // namespace orve::ui
