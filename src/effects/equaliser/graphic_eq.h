#pragma once
// Graphic equaliser: one second-order section per band, cascaded per channel.
//
// The lowest band is a low shelf, the highest active band a high shelf and the
// bands between are constant-bandwidth peaking sections. One class serves the
// five band layouts (3, 10, 15, 20 and 31 bands); each layout carries its
// centres, labels, bandwidth and preset table.
#include <cstdint>
#include <vector>

#include "dsp/channel_effect.h"

namespace orve {

struct GeqLayout {
    const double* centres;      // band centres (shelf corners) in Hz, ascending
    double bandwidthOctaves;    // bandwidth of the peaking sections
    int32_t bandCount;
    const char* const* labels;  // knob label of each band
    const EffectPreset* presets;
    int32_t presetCount;        // last row is "Custom"
};

// The layout with `bandCount` bands (3, 10, 15, 20 or 31); any other count
// gets the 10-band layout.
GeqLayout GeqLayoutFor(int32_t bandCount);

class GraphicEq : public ChannelEffect {
public:
    // The layout of `bandCount` bands (see GeqLayoutFor).
    GraphicEq(double sampleRate, int32_t channels, int32_t bandCount);
    GraphicEq(double sampleRate, int32_t channels, const GeqLayout& layout);

    void SetParameters(const double* values) override;
    int32_t Reset() override;
    void ProcessChannels(int32_t channelMask) override;

    // Gain in dB of the whole cascade at `hz`, from the sections as designed
    // for the last block processed (what the help page plots for a preset).
    double ResponseDb(double hz) const;

private:
    void DesignSections();

    double sampleRate;
    std::vector<double> storage;   // coefficients, state, gainsDb, centres
    double* coefficients = nullptr;   // b0, b1, b2, a0, a1, a2 per active band
    double* state = nullptr;
    double* gainsDb = nullptr;
    double* centres = nullptr;
    double bandwidthOctaves;
    int32_t activeBands;
    int32_t bandCount;
    bool coefficientsStale = false;
    std::vector<KnobSpec> knobs;   // one per band, +18 dB at the top
};

}  // namespace orve
