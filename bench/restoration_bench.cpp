// Real-time factor of the dynamics and restoration effects.
#include "bench_support.h"

namespace {

using orve::bench::MakeWithKnobs;
using orve::bench::RunRealTime;

void BM_LevelDynamic(benchmark::State& state) {
    auto effect = MakeWithKnobs(1, {-20.0, 5.0, 300.0, 4.0});
    RunRealTime(state, *effect);
}
BENCHMARK(BM_LevelDynamic);

void BM_DeClick(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(2)); }
BENCHMARK(BM_DeClick);

void BM_DeHiss(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(3)); }
BENCHMARK(BM_DeHiss);

void BM_DeNoise(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(4)); }
BENCHMARK(BM_DeNoise);

}  // namespace
