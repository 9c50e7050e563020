// Real-time factor of the de-ess, de-hum and de-vocal effects.
#include "bench_support.h"

namespace {

using orve::bench::MakeWithKnobs;
using orve::bench::RunRealTime;

void BM_DeEss(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(5)); }
void BM_DeHum(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(6)); }
void BM_DeVocalMono(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(12)); }
void BM_DeVocalStereo(benchmark::State& state) { RunRealTime(state, *MakeWithKnobs(13)); }

}  // namespace

BENCHMARK(BM_DeEss);
BENCHMARK(BM_DeHum);
BENCHMARK(BM_DeVocalMono);
BENCHMARK(BM_DeVocalStereo);
