#pragma once
// Geometry of the plug-in window: widths, control rectangles and the knob row,
// in client pixels. Pure rules; the platform layer only applies them.
#include <cstdint>

#include "plugin/effect_catalogue.h"

namespace orve::ui {

constexpr int32_t kWindowHeight = 180;
// Hosts from this version on draw a wider frame, so most effects get more room.
constexpr int32_t kWideHostVersion = 0x3001;
// Hosts above this version have an output-preferences page the OUT button opens.
constexpr int32_t kOutButtonHostVersion = 0x3000;
constexpr int32_t kTrackbarWidth = 28;
constexpr int32_t kLabelHeight = 15;
constexpr int32_t kDropDownHeight = 550;
constexpr int32_t kSelectionFieldHeight = 14;

struct Rect {
    int32_t x, y, width, height;
    bool operator==(const Rect& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

// Outer window width for an effect on a host of hostVersion (0 = the oldest).
int32_t WindowWidth(EffectId effectId, int32_t hostVersion);

// The knob row: n knobs and the gain slider share the width W - 40 in n + 1
// equal columns; x0 centres a 28-pixel trackbar in the first column.
struct KnobRow {
    double spacing;
    double x0;
};
KnobRow KnobRowFor(int32_t clientWidth, int32_t knobCount);
Rect GainSliderRect(const KnobRow& row, int32_t clientHeight);
Rect KnobTrackbarRect(const KnobRow& row, int32_t knob, int32_t clientHeight);
// Labels are centred over their trackbar, textWidth measured in the label font.
Rect GainLabelRect(const KnobRow& row, int32_t textWidth);
Rect KnobLabelRect(const KnobRow& row, int32_t knob, int32_t textWidth);
// The sample reverb's last knob (the room) is set through the preset list.
bool KnobLooksDisabled(EffectId effectId, int32_t knob, int32_t knobCount);

Rect MeterRect(bool right, int32_t clientHeight);
Rect KnobFrameRect(int32_t clientWidth, int32_t clientHeight);
Rect EffectListRect(int32_t clientHeight);
Rect PresetListRect(int32_t clientHeight);
bool ShowsOutButton(int32_t hostVersion);
Rect OutButtonRect(int32_t clientWidth, int32_t clientHeight);
bool ShowsSnapNoise(EffectId effectId);
Rect SnapNoiseRect(int32_t clientHeight);

// Channel switches: PASS alone, or L and R side by side.
struct ChannelSwitches {
    bool passOnly;
    int32_t channelMask;   // the mask the layout sets (PASS unchecked, L and R checked)
    Rect pass, left, right;
};
// At opening and after an effect change: effects that work on the stream as
// a whole (the catalogue's passOnly rows) offer only PASS, with mask 3.
ChannelSwitches ChannelSwitchesFor(EffectId effectId, int32_t channels, int32_t clientHeight);
// After the audio path saw the channel count change: by the count alone.
ChannelSwitches ChannelSwitchesByCount(int32_t channels, int32_t clientHeight);

}  // namespace orve::ui
