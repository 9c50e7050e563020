#include "plugin/effect_actions.h"

#include <algorithm>
#include <cmath>

#include "dsp/effect_processor.h"
#include "effects/restoration/de_noise.h"
#include "effects/timepitch/resampler.h"
#include "effects/timepitch/tempo_scaler.h"

namespace orve {

bool SnapNoise(EffectProcessor& effect) {
    auto* denoise = dynamic_cast<DeNoise*>(&effect);
    if (!denoise) return false;
    denoise->SnapNoise();
    return true;
}

int32_t SessionStateCapacity(const EffectProcessor& effect) {
    const auto* denoise = dynamic_cast<const DeNoise*>(&effect);
    if (!denoise) return 0;
    const int32_t longest = std::max(denoise->LongestFrameLength(), denoise->FrameLength());
    return 1 + denoise->Channels() * (longest / 2 + 1);
}

uint64_t SessionStateVersion(const EffectProcessor& effect) {
    const auto* denoise = dynamic_cast<const DeNoise*>(&effect);
    return denoise ? denoise->ProfileVersion() : 0;
}

int32_t CopySessionState(const EffectProcessor& effect, double* values) {
    const auto* denoise = dynamic_cast<const DeNoise*>(&effect);
    if (!denoise) return 0;
    denoise->CopyProfile(values);
    return denoise->ProfileValues();
}

bool RestoreSessionState(EffectProcessor& effect, const double* values, int32_t count) {
    auto* denoise = dynamic_cast<DeNoise*>(&effect);
    if (!denoise) return count == 0;
    return denoise->AdoptProfile(values, count);
}

int32_t LargestFrameLength(const EffectProcessor& effect) {
    const auto* denoise = dynamic_cast<const DeNoise*>(&effect);
    return denoise ? denoise->LongestFrameLength() : 0;
}

bool KeepsStreamLength(EffectId id) { return id != EffectId::TempoScaler && id != EffectId::Resampler; }

// ---------------------------------------------------------------------------

// The ratio the effects realise, not the one their knobs display: the tempo
// scaler consumes whole analysis hops, so it stretches by Hs / trunc(Hs /
// tempo), up to one part in a thousand (1 / Ha) more than 2^knob - seconds of
// an hour's stretched audio that a host planning with the displayed factor
// would cut off.
double StreamLengthRatio(const EffectProcessor* effect) {
    if (const auto* tempo = dynamic_cast<const TempoScaler*>(effect))
        return static_cast<double>(tempo->SynthesisHop()) / tempo->AnalysisHop();
    if (const auto* resampler = dynamic_cast<const Resampler*>(effect)) return resampler->Factor();
    return 1.0;
}

// The resampler's converter centres its filter on the output instant, so its
// image starts in place; only the tempo scaler's start-up rule shifts it.
int64_t StreamStartLead(const EffectProcessor* effect) {
    if (const auto* tempo = dynamic_cast<const TempoScaler*>(effect)) return std::llround(tempo->StartUpLead());
    return 0;
}

}  // namespace orve
