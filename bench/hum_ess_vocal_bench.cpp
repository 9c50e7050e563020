// Real-time factor of the de-ess, de-hum and de-vocal effects.
#include "bench_support.h"

namespace {

using orve::bench::MakeWithKnobs;
using orve::bench::RunRealTime;

void BM_DeEss(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(orve::EffectId::DeEss)); }
void BM_DeHum(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(orve::EffectId::DeHum)); }
void BM_DeVocalMono(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(orve::EffectId::DeVocalMono)); }
void BM_DeVocalStereo(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(orve::EffectId::DeVocalStereo)); }

}  // namespace

BENCHMARK(BM_DeEss);
BENCHMARK(BM_DeHum);
BENCHMARK(BM_DeVocalMono);
BENCHMARK(BM_DeVocalStereo);
