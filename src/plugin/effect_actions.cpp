#include "plugin/effect_actions.h"

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

double StreamLengthRatio(int32_t /*effectId*/, const double* /*parameterValues*/) {
    return 1.0;
}

}  // namespace orve
