// Real-time factor of the convolution effects, in 576-frame blocks (the
// player's usual block): the two that play the embedded responses at
// 44100 Hz stereo, and the modal reverb's largest room.
#include <malloc.h>

#include "bench_support.h"
#include "effects/spatial/modal_reverb.h"
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

// Size 12 and RefC 0.99: a 69 s response, 3.05 million samples per ear at
// 44100 Hz. Reports the real-time factor and the heap the effect holds.
void BM_ModalReverbLargestRoom(benchmark::State& state) {
    const int32_t rate = static_cast<int32_t>(state.range(0));
    const size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
    orve::ModalReverb effect(rate, kChannels, orve::ModalReverb::BaseRoom(), 0.33, 0.33, 0.33, 2.0, 0.85, 0.0, 0.13);
    const double knobs[] = {12.0, 0.99, 0.2, 0.3, 0.5};
    effect.SetParameters(knobs);
    orve::RunWorkNow(effect);
    std::vector<double> block(2 * orve::bench::kFrames, 0.0);
    effect.ProcessBlock(block.data(), block.data(), 2 * orve::bench::kFrames, 2 * orve::bench::kFrames, 3);
    const size_t held = mallinfo2().uordblks + mallinfo2().hblkhd - before;
    const std::vector<double> programme = orve::bench::Programme();
    const int32_t T = 2 * orve::bench::kFrames;
    size_t b = 0;
    for (auto _ : state) {
        std::copy(programme.begin() + b * T, programme.begin() + (b + 1) * T, block.begin());
        benchmark::DoNotOptimize(effect.ProcessBlock(block.data(), block.data(), T, T, 3));
        b = (b + 1) % (programme.size() / T);
    }
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) * orve::bench::kFrames / rate,
                                               benchmark::Counter::kIsRate);
    state.counters["MB"] = held / 1e6;
}
BENCHMARK(BM_ModalReverbLargestRoom)->Arg(44100)->Arg(96000)->MinTime(5.0);

}  // namespace
