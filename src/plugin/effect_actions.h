#pragma once
// Operations a host performs on particular effects beyond the common interface.
#include <cstdint>

namespace orve {

class EffectProcessor;

// Restarts noise learning when `effect` is the noise remover; false otherwise.
bool SnapNoise(EffectProcessor& effect);

// Output length / input length of `effect` with the knob values it holds now:
// above 1 for an effect that lengthens the stream, 1 for every effect that
// keeps it (and for none).
double StreamLengthRatio(const EffectProcessor* effect);

// Frames by which the image of the input in the stream `effect` releases
// (from construction or Reset, at its current knob values) lags an exact
// stretch by StreamLengthRatio; negative when it leads. A host that cuts the
// stream to the stretched length drops this many leading frames (or adds
// silence for a negative lead) so that the end of the input survives.
int64_t StreamStartLead(const EffectProcessor* effect);

}  // namespace orve
