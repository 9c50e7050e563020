// Real-time factor of the time, pitch and modulation effects at settings
// other than their defaults: the tempo scaler at both ends of its knob.
#include "bench_support.h"

namespace {

using orve::bench::MakeWithKnobs;
using orve::bench::RunRealTime;

void BM_PitchScalerChild(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(19, {0.4})); }
void BM_TempoScalerSlowest(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(18, {1.0})); }
void BM_TempoScalerUnity(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(18, {0.0})); }
void BM_TempoScalerFastest(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(18, {-1.3})); }
void BM_ResamplerDownSample(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(17, {-0.4})); }
void BM_ResamplerUpSample(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(17, {0.4})); }
void BM_WhisperHalfWet(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(21, {0.5})); }

}  // namespace

BENCHMARK(BM_PitchScalerChild);
BENCHMARK(BM_TempoScalerSlowest);
BENCHMARK(BM_TempoScalerUnity);
BENCHMARK(BM_TempoScalerFastest);
BENCHMARK(BM_ResamplerDownSample);
BENCHMARK(BM_ResamplerUpSample);
BENCHMARK(BM_WhisperHalfWet);
