#pragma once
// Finding effects, presets and knobs by what a user types: ids, names and
// labels, case-insensitive, ignoring the padding some tables carry.
#include <cstdint>
#include <string>

#include "dsp/effect_processor.h"
#include "plugin/effect_catalogue.h"

namespace orve::cli {

// Lower case, every space removed ("GEQ-10 Bands 1    Oct" -> "geq-10bands1oct").
std::string Normalised(const std::string& text);
// Without trailing spaces: several preset names are padded ("Studio      ").
std::string TrimmedRight(const std::string& text);
// Without leading or trailing spaces and tabs.
std::string Trimmed(const std::string& text);
std::string Lower(const std::string& text);
// A value as messages, describe and the demo print it (%g: "0.63093", "1e+06").
std::string Number(double v);
// Characters, not bytes, so that columns line up across µ, ° and the diamonds.
size_t TextWidth(const std::string& text);

// An id 0..21, the catalogue text ("Restoration-DeNoise") or the text after
// its family prefix ("DeNoise"); spaces do not matter. Throws CliError.
EffectId FindEffect(const std::string& text);

// Row index of a preset whose trimmed name matches case-insensitively; throws
// CliError naming the presets there are.
int32_t FindPreset(EffectProcessor& effect, EffectId effectId, const std::string& name);

// Index of the knob whose trimmed label matches case-insensitively; throws.
int32_t FindKnob(const KnobSpec* table, int32_t count, EffectId effectId, const std::string& label);

// The knob's label as a string (labels are NUL-padded char[20]).
std::string KnobLabel(const KnobSpec& knob);

}  // namespace orve::cli
