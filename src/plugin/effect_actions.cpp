#include "plugin/effect_actions.h"

#include "dsp/effect_processor.h"

namespace orve {

bool SnapNoise(EffectProcessor& /*effect*/) {
    return false;
}

// ---------------------------------------------------------------------------

double StreamLengthRatio(int32_t /*effectId*/, const double* /*parameterValues*/) {
    return 1.0;
}

}  // namespace orve
