#pragma once
// Operations a host performs on particular effects beyond the common interface.
#include <cstdint>

#include "plugin/effect_catalogue.h"

namespace orve {

class EffectProcessor;

// Restarts noise learning when `effect` is the noise remover; false otherwise.
bool SnapNoise(EffectProcessor& effect);

// State an effect holds beyond its knob values, which a host keeps with its
// session and carries across a restart: DeNoise's learned noise profile. As
// doubles that only the same effect, built for the same format, reads back.
// The capacity is the most values the effect can give at its format, so that
// a host can reserve room once and copy without allocating.
int32_t SessionStateCapacity(const EffectProcessor& effect);
// Changes whenever the state does.
uint64_t SessionStateVersion(const EffectProcessor& effect);
// Writes the state (room for SessionStateCapacity values); returns the count,
// 0 when there is none (DeNoise still learning).
int32_t CopySessionState(const EffectProcessor& effect, double* values);
// Hands saved state back (not on the audio thread); false when it is not
// state of this effect.
bool RestoreSessionState(EffectProcessor& effect, const double* values, int32_t count);

// The longest frame any knob setting can give a frame-based effect (DeNoise's
// Window re-frames it); 0 for effects no knob re-frames.
int32_t LargestFrameLength(const EffectProcessor& effect);

// Whether the effect of `id` gives back as many frames as it is given, at
// every knob setting: all but the tempo scaler and the resampler. Hosts that
// hand out fixed periods (LV2) can offer only these.
bool KeepsStreamLength(EffectId id);

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
