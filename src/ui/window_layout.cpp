#include "ui/window_layout.h"

namespace orve::ui {
namespace {

int32_t Trunc(double v) { return static_cast<int32_t>(v); }

Rect SwitchRow(int32_t x, int32_t width, int32_t clientHeight) { return Rect{x, clientHeight - 23, width, 18}; }

}  // namespace

int32_t WindowWidth(EffectId effectId, int32_t hostVersion) {
    const WindowWidths& width = CatalogueEntry(effectId).width;
    return hostVersion >= kWideHostVersion ? width.wide : width.narrow;
}

KnobRow KnobRowFor(int32_t clientWidth, int32_t knobCount) {
    const double spacing = static_cast<double>(clientWidth - 40) / (knobCount + 1);
    return KnobRow{spacing, (spacing - kTrackbarWidth) * 0.5 + 30.0};
}

Rect GainSliderRect(const KnobRow& row, int32_t clientHeight) {
    return Rect{Trunc(row.x0), 18, kTrackbarWidth, clientHeight - 44};
}

Rect KnobTrackbarRect(const KnobRow& row, int32_t knob, int32_t clientHeight) {
    return Rect{Trunc(row.x0 + (knob + 1) * row.spacing), 18, kTrackbarWidth, clientHeight - 44};
}

Rect GainLabelRect(const KnobRow& row, int32_t textWidth) {
    return Rect{Trunc((kTrackbarWidth - textWidth) * 0.5 + row.x0) - 2, 5, textWidth, kLabelHeight};
}

Rect KnobLabelRect(const KnobRow& row, int32_t knob, int32_t textWidth) {
    return Rect{Trunc((knob + 1) * row.spacing + (kTrackbarWidth - textWidth) * 0.5 + row.x0) - 2, 5, textWidth,
                kLabelHeight};
}

bool KnobLooksDisabled(EffectId effectId, int32_t knob, int32_t knobCount) {
    return effectId == EffectId::SampleReverb && knob == knobCount - 1;
}

Rect MeterRect(bool right, int32_t clientHeight) { return Rect{right ? 10 : 0, 1, 9, clientHeight - 2}; }

// The frame starts above the client area so that its caption line is hidden.
Rect KnobFrameRect(int32_t clientWidth, int32_t clientHeight) {
    return Rect{20, -7, clientWidth - 20, clientHeight + 6};
}

Rect EffectListRect(int32_t clientHeight) { return Rect{88, clientHeight - 25, 170, kDropDownHeight}; }
Rect PresetListRect(int32_t clientHeight) { return Rect{260, clientHeight - 25, 127, kDropDownHeight}; }

bool ShowsOutButton(int32_t hostVersion) { return hostVersion > kOutButtonHostVersion; }
Rect OutButtonRect(int32_t clientWidth, int32_t clientHeight) {
    return Rect{clientWidth - 47, clientHeight - 23, 40, 17};
}

bool ShowsSnapNoise(EffectId effectId) { return effectId == EffectId::DeNoise; }
Rect SnapNoiseRect(int32_t clientHeight) { return Rect{264, clientHeight - 23, 70, 17}; }

ChannelSwitches ChannelSwitchesByCount(int32_t channels, int32_t clientHeight) {
    ChannelSwitches s{};
    s.pass = SwitchRow(25, 60, clientHeight);
    s.left = SwitchRow(25, 30, clientHeight);
    s.right = SwitchRow(55, 30, clientHeight);
    s.passOnly = channels == 1;
    s.channelMask = channels == 1 ? 1 : 3;
    return s;
}

ChannelSwitches ChannelSwitchesFor(EffectId effectId, int32_t channels, int32_t clientHeight) {
    ChannelSwitches s = ChannelSwitchesByCount(channels, clientHeight);
    if (CatalogueEntry(effectId).passOnly) {
        // Individual channels cannot be left out of a pair or a changed length.
        s.passOnly = true;
        s.channelMask = 3;
    }
    return s;
}

}  // namespace orve::ui
