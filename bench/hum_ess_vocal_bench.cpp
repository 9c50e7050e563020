// Real-time factor of the de-hum, de-ess and de-vocal effects at 44100 Hz
// stereo, fed 576-frame blocks as the player hands them over.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "plugin/effect_factory.h"

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kFrames = 576;

// Programme material: a few tones and a noise floor, so that the spectral
// effects see real bins and the canceller real adaptation.
std::vector<double> Programme(int32_t frames) {
    std::vector<double> x(2 * static_cast<size_t>(frames));
    uint32_t seed = 1;
    for (int32_t n = 0; n < frames; ++n) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 800.0;
        const double t = static_cast<double>(n) / kRate;
        const double tones = 6000.0 * std::sin(2 * M_PI * 220.0 * t) + 2000.0 * std::sin(2 * M_PI * 6500.0 * t) +
                             1500.0 * std::sin(2 * M_PI * 50.0 * t);
        x[2 * n] = tones + noise;
        x[2 * n + 1] = 0.7 * tones - noise;
    }
    return x;
}

void RunEffect(benchmark::State& state, int32_t effectId) {
    const orve::EffectBuildContext context{kRate, 2, nullptr, nullptr};
    auto effect = orve::MakeEffect(effectId, context);
    orve::KnobSpec knobs[orve::kMaxKnobs];
    const int32_t count = effect->DescribeKnobs(knobs);
    double values[orve::kMaxKnobs];
    for (int32_t i = 0; i < count; ++i) values[i] = knobs[i].defaultValue;
    effect->SetParameters(values);

    const int32_t blocks = 200;
    const auto programme = Programme(kFrames * blocks);
    std::vector<double> block(2 * kFrames);
    int32_t b = 0;
    for (auto _ : state) {
        std::copy(programme.begin() + 2 * kFrames * b, programme.begin() + 2 * kFrames * (b + 1), block.begin());
        benchmark::DoNotOptimize(effect->ProcessBlock(block.data(), block.data(), 2 * kFrames, 2 * kFrames, 3));
        b = (b + 1) % blocks;
    }
    // Audio seconds per wall-clock second: above 1 keeps up with playback.
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFrames / kRate,
                                               benchmark::Counter::kIsRate);
}

void BM_DeEss(benchmark::State& state) { RunEffect(state, 5); }
void BM_DeHum(benchmark::State& state) { RunEffect(state, 6); }
void BM_DeVocalMono(benchmark::State& state) { RunEffect(state, 12); }
void BM_DeVocalStereo(benchmark::State& state) { RunEffect(state, 13); }

}  // namespace

BENCHMARK(BM_DeEss);
BENCHMARK(BM_DeHum);
BENCHMARK(BM_DeVocalMono);
BENCHMARK(BM_DeVocalStereo);
