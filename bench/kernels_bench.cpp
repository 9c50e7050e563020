// Real-time factor of the two effects that play the embedded responses, at
// 44100 Hz stereo in 576-frame blocks (the player's usual block).
#include "bench_support.h"
#include "effects/spatial/sample_reverb.h"
#include "effects/spatial/virtual_3d.h"
#include "platform/posix/embedded_kernels.h"

namespace {

using orve::bench::kChannels;
using orve::bench::kRate;
using orve::bench::RunRealTime;

void BM_SampleReverbStairway(benchmark::State& state) {
    orve::EmbeddedKernels kernels;
    const int16_t* rooms = kernels.Find(142, nullptr);
    if (!rooms) return state.SkipWithError("no room set linked in");
    orve::SampleReverb effect(kRate, kChannels, rooms, 13);   // "Stairway    ": 236 partitions
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
    const std::vector<double> source(2 * orve::bench::kFrames, 1000.0);
    std::vector<double> block(source.size());
    double both = 0.0;
    for (auto _ : state) {
        both = both >= 1.0 ? 0.001 : both + 0.001;
        const double values[3] = {0.0, 0.0, both};
        effect.SetParameters(values);
        block = source;
        benchmark::DoNotOptimize(effect.ProcessBlock(block.data(), block.data(), static_cast<int32_t>(block.size()),
                                                     static_cast<int32_t>(block.size()), 3));
    }
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) * orve::bench::kFrames / kRate,
                                               benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Virtual3DSweep);

}  // namespace
