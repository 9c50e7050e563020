#include "plugin/effect_actions.h"

#include <cmath>

#include "dsp/effect_processor.h"
#include "effects/restoration/de_noise.h"

namespace orve {

bool SnapNoise(EffectProcessor& effect) {
    auto* denoise = dynamic_cast<DeNoise*>(&effect);
    if (!denoise) return false;
    denoise->SnapNoise();
    return true;
}

// ---------------------------------------------------------------------------

// The resampler (17) and the tempo scaler (18) both hold log2 of their
// factor in their only knob: output samples per input sample for the one,
// output duration / input duration for the other. (The tempo scaler's exact
// ratio Hs / trunc(Hs / tempo) differs from this by under one part in a
// thousand, well within the one block a host allows for.)
double StreamLengthRatio(int32_t effectId, const double* parameterValues) {
    constexpr int32_t kResampler = 17, kTempoScaler = 18;
    if ((effectId == kResampler || effectId == kTempoScaler) && parameterValues)
        return std::pow(2.0, parameterValues[0]);
    return 1.0;
}

}  // namespace orve
