// Real-time factor of the dynamics and restoration effects.
#include "bench_support.h"

namespace {

using orve::bench::MakeWithKnobs;
using orve::bench::RunRealTime;

void BM_LevelDynamic(benchmark::State& state) {
    auto effect = MakeWithKnobs(orve::EffectId::LevelDynamic, {-20.0, 5.0, 300.0, 4.0});
    RunRealTime(state, *effect);
}
BENCHMARK(BM_LevelDynamic);

void BM_DeClick(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(orve::EffectId::DeClick)); }
BENCHMARK(BM_DeClick);

void BM_DeHiss(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(orve::EffectId::DeHiss)); }
BENCHMARK(BM_DeHiss);

void BM_DeNoise(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(orve::EffectId::DeNoise)); }
BENCHMARK(BM_DeNoise);

}  // namespace
