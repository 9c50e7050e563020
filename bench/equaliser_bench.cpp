// Real-time factor of the graphic equaliser and the modal reverb at 44100 Hz
// stereo in 576-frame blocks: audio seconds processed per second of the
// thread's CPU time, which on an idle machine is its wall time and on a
// shared one is not inflated by other processes.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "effects/equaliser_spatial/graphic_eq.h"
#include "effects/equaliser_spatial/modal_reverb.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 576;

std::vector<double> Programme() {
    std::vector<double> x(2 * kFrames);
    uint32_t s = 1;
    for (double& v : x) {
        s = s * 1664525u + 1013904223u;
        v = ((s >> 8) / 16777216.0 - 0.5) * 20000.0;
    }
    return x;
}

void RunBlocks(benchmark::State& state, orve::EffectProcessor& effect) {
    const std::vector<double> source = Programme();
    std::vector<double> block(source.size());
    for (auto _ : state) {
        block = source;
        benchmark::DoNotOptimize(effect.ProcessBlock(block.data(), block.data(), 2 * kFrames, 2 * kFrames, 3));
    }
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFrames / kRate,
                                               benchmark::Counter::kIsRate);
}

void BM_GraphicEq31(benchmark::State& state) {
    const orve::GeqLayout layout = orve::GeqLayoutFor(31);
    orve::GraphicEq eq(kRate, 2, layout);
    eq.SetParameters(layout.presets[1].values + 1);   // "ClassicV": every band active
    RunBlocks(state, eq);
}
BENCHMARK(BM_GraphicEq31);

// Knobs: Size, RefC, DirR, RefR, RevR; range(0) picks the room.
void BM_ModalReverb(benchmark::State& state) {
    const double rooms[][5] = {
        {2.0, 0.85, 0.2, 0.3, 0.5},    // knob defaults: T60 0.71 s
        {8.0, 0.8, 0.3, 0.35, 0.35},   // "Large Hall": T60 2.06 s
    };
    orve::ModalReverb reverb(kRate, 2, orve::ModalReverb::BaseRoom(), 0.33, 0.33, 0.33, 2.0, 0.85, 0.0, 0.13);
    reverb.SetParameters(rooms[state.range(0)]);
    std::vector<double> block(2 * kFrames, 0.0);
    reverb.ProcessBlock(block.data(), block.data(), 2 * kFrames, 2 * kFrames, 3);   // rebuild outside the timing
    state.SetLabel(state.range(0) == 0 ? "default room" : "Large Hall");
    RunBlocks(state, reverb);
}
BENCHMARK(BM_ModalReverb)->Arg(0)->Arg(1);

}  // namespace
