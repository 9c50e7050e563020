// Real-time factor of the dynamics and restoration effects at 44100 Hz stereo
// in 576-frame blocks: audio seconds processed per second of the benchmark's
// time. The programme (tones in noise with a click every 50 ms) is cycled
// through block by block, so detection and repair see changing material.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "effects/restoration/de_click.h"
#include "effects/restoration/de_hiss.h"
#include "effects/restoration/de_noise.h"
#include "effects/restoration/level_dynamic.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 576;
constexpr int kBlocks = 160;   // about 2.1 s of programme

std::vector<double> Programme() {
    std::vector<double> x(2 * kFrames * kBlocks);
    uint32_t s = 1;
    for (size_t f = 0; f < x.size() / 2; ++f) {
        const double t = static_cast<double>(f) / kRate;
        const double tone = 6000.0 * std::sin(2 * M_PI * 220.0 * t) + 3000.0 * std::sin(2 * M_PI * 660.0 * t);
        for (int c = 0; c < 2; ++c) {
            s = s * 1664525u + 1013904223u;
            x[2 * f + c] = tone + ((s >> 8) / 16777216.0 - 0.5) * 1000.0 + (f % 2205 == 1000 ? 12000.0 : 0.0);
        }
    }
    return x;
}

void RunBlocks(benchmark::State& state, orve::EffectProcessor& effect) {
    const std::vector<double> source = Programme();
    std::vector<double> block(2 * kFrames);
    // One pass outside the timing: buffers grow, DeNoise finishes learning.
    for (int b = 0; b < kBlocks; ++b) {
        block.assign(source.begin() + b * 2 * kFrames, source.begin() + (b + 1) * 2 * kFrames);
        effect.ProcessBlock(block.data(), block.data(), 2 * kFrames, 2 * kFrames, 3);
    }
    int b = 0;
    for (auto _ : state) {
        std::copy(source.begin() + b * 2 * kFrames, source.begin() + (b + 1) * 2 * kFrames, block.begin());
        benchmark::DoNotOptimize(effect.ProcessBlock(block.data(), block.data(), 2 * kFrames, 2 * kFrames, 3));
        b = (b + 1) % kBlocks;
    }
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFrames / kRate,
                                               benchmark::Counter::kIsRate);
}

void BM_LevelDynamic(benchmark::State& state) {
    orve::LevelDynamic effect(kRate, 2);
    const double knobs[] = {-20.0, 5.0, 300.0, 4.0};
    effect.SetParameters(knobs);
    RunBlocks(state, effect);
}
BENCHMARK(BM_LevelDynamic);

void BM_DeClick(benchmark::State& state) {
    orve::DeClick effect(kRate, 2);
    RunBlocks(state, effect);
}
BENCHMARK(BM_DeClick);

void BM_DeHiss(benchmark::State& state) {
    orve::DeHiss effect(kRate, 2);
    RunBlocks(state, effect);
}
BENCHMARK(BM_DeHiss);

void BM_DeNoise(benchmark::State& state) {
    orve::DeNoise effect(kRate, 2);
    RunBlocks(state, effect);
}
BENCHMARK(BM_DeNoise);

}  // namespace
