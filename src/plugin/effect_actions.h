#pragma once
// Operations a host performs on particular effects beyond the common interface.
#include <cstdint>

namespace orve {

class EffectProcessor;

// Restarts noise learning when `effect` is the noise remover; false otherwise.
bool SnapNoise(EffectProcessor& effect);

// Output length / input length of the effect `effectId` with these knob
// values: above 1 for effects that lengthen the stream, 1 for all effects
// that keep it.
double StreamLengthRatio(int32_t effectId, const double* parameterValues);

}  // namespace orve
