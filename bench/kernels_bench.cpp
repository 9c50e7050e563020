// Real-time factor of the two effects that play the embedded responses, at
// 44100 Hz stereo in 576-frame blocks (the player's usual block).
#include <benchmark/benchmark.h>

#include <time.h>

#include <cmath>
#include <memory>
#include <vector>

#include "effects/equaliser_spatial/sample_reverb.h"
#include "effects/equaliser_spatial/virtual_3d.h"
#include "platform/posix/embedded_kernels.h"

namespace {

constexpr int kFrames = 576;
constexpr double kRate = 44100.0;

// Thread CPU time: the build machine is shared, so wall time would mostly
// measure the neighbours.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
}

void RunRealTime(benchmark::State& state, orve::EffectProcessor& effect) {
    std::vector<double> source(2 * kFrames), block(2 * kFrames);
    for (int i = 0; i < 2 * kFrames; ++i) source[i] = 8000.0 * std::sin(0.0123 * i * i);
    double seconds = 0.0;
    int64_t blocks = 0;
    for (auto _ : state) {
        block = source;
        const double start = CpuSeconds();
        benchmark::DoNotOptimize(effect.ProcessBlock(block.data(), block.data(), 2 * kFrames, 2 * kFrames, 3));
        seconds += CpuSeconds() - start;
        ++blocks;
    }
    state.counters["rtf"] = seconds > 0.0 ? blocks * kFrames / kRate / seconds : 0.0;
    state.SetItemsProcessed(blocks * kFrames);
}

void BM_SampleReverbStairway(benchmark::State& state) {
    orve::EmbeddedKernels kernels;
    const int16_t* rooms = kernels.Find(142, nullptr);
    if (!rooms) return state.SkipWithError("no room set linked in");
    orve::SampleReverb effect(kRate, 2, rooms, 13);   // "Stairway    ": 236 partitions
    RunRealTime(state, effect);
}
BENCHMARK(BM_SampleReverbStairway);

void BM_Virtual3D(benchmark::State& state) {
    orve::EmbeddedKernels kernels;
    const int16_t* responses = kernels.Find(121, nullptr);
    if (!responses) return state.SkipWithError("no response set linked in");
    orve::Virtual3D effect(kRate, responses, -45.0, 0.0);
    RunRealTime(state, effect);
}
BENCHMARK(BM_Virtual3D);

// "Both" above zero recomputes the direction on every block.
void BM_Virtual3DSweep(benchmark::State& state) {
    orve::EmbeddedKernels kernels;
    const int16_t* responses = kernels.Find(121, nullptr);
    if (!responses) return state.SkipWithError("no response set linked in");
    orve::Virtual3D effect(kRate, responses, 0.0, 0.0);
    double both = 0.0;
    std::vector<double> source(2 * kFrames, 1000.0), block(2 * kFrames);
    double seconds = 0.0;
    int64_t blocks = 0;
    for (auto _ : state) {
        both = both >= 1.0 ? 0.001 : both + 0.001;
        const double values[3] = {0.0, 0.0, both};
        effect.SetParameters(values);
        block = source;
        const double start = CpuSeconds();
        benchmark::DoNotOptimize(effect.ProcessBlock(block.data(), block.data(), 2 * kFrames, 2 * kFrames, 3));
        seconds += CpuSeconds() - start;
        ++blocks;
    }
    state.counters["rtf"] = seconds > 0.0 ? blocks * kFrames / kRate / seconds : 0.0;
}
BENCHMARK(BM_Virtual3DSweep);

}  // namespace
