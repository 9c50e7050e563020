#pragma once
// Knob values as the command line takes them. Every knob stores one value
// (what presets, the settings record and SetParameters carry) and shows
// another (DisplayValue: what the window's thumb, the help page and describe
// print, in the knob's unit). A bare number is the stored value; a number
// with a unit, a multiplier or an "x" is the shown value:
//   Pitch=0.4   Pitch=x1.55185   Delay=-3   Delay=1000us   Delay=1ms   Hi F=16k   Hi F=16kHz
#include <cstdint>
#include <string>

#include "dsp/effect_processor.h"
#include "plugin/effect_catalogue.h"

namespace orve::cli {

// One knob setting: the knob's label and a value, stored or shown.
struct KnobChoice {
    std::string label;
    double value = 0.0;
    // value is a shown value, in `unit` when one was written ("×", "µs",
    // "Hz", ...), in the knob's own unit when only a multiplier ("16k") was.
    bool shown = false;
    std::string unit{};
    double unitScale = 1.0;    // value x unitScale is in the base of the unit's kind (seconds for ms)
    double precision = 0.0;    // shown: half a unit in the last digit written, in `unit`
    std::string text{};        // LABEL=VALUE as written, for messages; empty when made in code
};

// Parses the VALUE of --knob LABEL=VALUE (`text` is the whole option, for
// messages). Throws CliError.
KnobChoice ParseKnobValue(const std::string& label, const std::string& value, const std::string& text);

// The value knob `k` of `effect` stores for `choice`, which names it. A
// shown value is turned back through the effect's DisplayValue (the knobs
// that show a factor or a depth hold its logarithm), taking among the stored
// values it shows as the simplest one within the digits written, so that a
// value copied from describe or the help page gives the preset's own value.
// Throws CliError, naming the knob's range in both forms, for a value off
// the knob or a unit it does not show.
double StoredKnobValue(EffectProcessor& effect, int32_t k, const KnobSpec& knob, EffectId effectId,
                       const KnobChoice& choice);

// A shown value as -k takes it: "x1.55185", "1000 µs", "16000 Hz", "0.5".
std::string ShownText(double shown, const char* unit);
// The knob's range, shown and stored: "x0.333333 .. x3 (stored -1 .. 1)",
// lowest shown value first; "0 .. 1" for a knob without a unit that shows
// what it stores.
std::string KnobRangeText(EffectProcessor& effect, int32_t k, const KnobSpec& knob);

}  // namespace orve::cli
