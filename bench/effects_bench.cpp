// Real-time factor of every effect the window offers, at its knob defaults,
// named as the catalogue names it. The other files add heavier settings.
#include "bench_support.h"
#include "plugin/effect_catalogue.h"

namespace {

void BM_Effect(benchmark::State& state) {
    const auto id = static_cast<orve::EffectId>(state.range(0));
    state.SetLabel(orve::EffectText(id));
    orve::bench::RunRealTime(state, *orve::bench::MakeWithKnobs(id));
}

}  // namespace

BENCHMARK(BM_Effect)->DenseRange(0, orve::kSelectableEffects - 1);
