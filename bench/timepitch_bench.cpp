// Real-time factor of the time, pitch and modulation effects at settings
// other than their defaults: the tempo scaler at both ends of its knob.
#include "bench_support.h"

namespace {

using orve::bench::MakeWithKnobs;
using orve::bench::RunRealTime;

void BM_PitchScalerChild(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(orve::EffectId::PitchScaler, {0.4})); }
void BM_TempoScalerSlowest(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(orve::EffectId::TempoScaler, {1.0})); }
void BM_TempoScalerUnity(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(orve::EffectId::TempoScaler, {0.0})); }
void BM_TempoScalerFastest(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(orve::EffectId::TempoScaler, {-1.3})); }
void BM_ResamplerDownSample(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(orve::EffectId::Resampler, {-0.4})); }
void BM_ResamplerUpSample(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(orve::EffectId::Resampler, {0.4})); }
void BM_WhisperHalfWet(benchmark::State& s) { RunRealTime(s, *MakeWithKnobs(orve::EffectId::Whisper, {0.5})); }

}  // namespace

BENCHMARK(BM_PitchScalerChild);
BENCHMARK(BM_TempoScalerSlowest);
BENCHMARK(BM_TempoScalerUnity);
BENCHMARK(BM_TempoScalerFastest);
BENCHMARK(BM_ResamplerDownSample);
BENCHMARK(BM_ResamplerUpSample);
BENCHMARK(BM_WhisperHalfWet);
