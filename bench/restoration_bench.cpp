// Real-time factor of the dynamics and restoration effects at settings other
// than their defaults.
#include "bench_support.h"

namespace {

using orve::bench::MakeWithKnobs;
using orve::bench::RunRealTime;

void BM_LevelDynamic(benchmark::State& state) {
    auto effect = MakeWithKnobs(orve::EffectId::LevelDynamic, {-20.0, 5.0, 300.0, 4.0});
    RunRealTime(state, *effect);
}
BENCHMARK(BM_LevelDynamic);

// The strongest settings of the spectral restorers (defaults: effects_bench).
void BM_DeHissStrongest(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(orve::EffectId::DeHiss, {1.0})); }
BENCHMARK(BM_DeHissStrongest);

void BM_DeNoiseLongWindow(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(orve::EffectId::DeNoise, {500.0, 1.0, 1.0})); }
BENCHMARK(BM_DeNoiseLongWindow);

}  // namespace
