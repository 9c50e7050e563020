#include "ui/knob_format.h"

#include <cmath>
#include <cstdio>

#include "plugin/plugin_state.h"

namespace orve::ui {

// Without the padding of a fixed-width field: on a thumb the text is centred,
// and a leading blank only pushed the digits out of it. A value that reads as
// zero reads "0.0", whichever side of zero the arithmetic left it.
std::string FormatKnobValue(double value) {
    char text[32];
    const double a = std::fabs(value);
    if (a < 0.05) value = 0.0;
    if (a <= 99.9) std::snprintf(text, sizeof text, "%.1f", value);
    else if (a <= 999.0) std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    else if (a <= 1000000.0) std::snprintf(text, sizeof text, "%dk", static_cast<int>(value * 0.001));
    else std::snprintf(text, sizeof text, "%dM", static_cast<int>(std::fmax(std::fmin(value * 0.000001, 2e9), -2e9)));
    return text;
}

int32_t ValueFontFor(const int32_t* textWidths, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        if (textWidths[i] <= kThumbTextWidth) return i;
    return count - 1;
}

// Rounded like every other value-to-position conversion, so that the slider
// stands where the row's gain saves.
int32_t PresetGainPosition(double decibels) { return ClampPosition(std::round((60.0 - decibels) * 10000.0 / 120.0)); }

// The slider's own gain at the stored position. Whole decibels (the position
// scaled in integers) would apply up to a decibel more than the slider shows,
// and the next save would store that gain's position instead of the user's.
double StoredRowGain(int32_t position) { return GainPositionToFactor(position); }

}  // namespace orve::ui
