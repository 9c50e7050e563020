// Real-time factor of the graphic equaliser and the modal reverb.
#include "bench_support.h"
#include "effects/equaliser/graphic_eq.h"
#include "effects/spatial/modal_reverb.h"

namespace {

using orve::bench::kChannels;
using orve::bench::kFrames;
using orve::bench::kRate;
using orve::bench::RunRealTime;

void BM_GraphicEq31(benchmark::State& state) {
    const orve::GeqLayout layout = orve::GeqLayoutFor(31);
    orve::GraphicEq eq(kRate, kChannels, layout);
    eq.SetParameters(layout.presets[1].values + 1);   // "ClassicV": every band active
    RunRealTime(state, eq);
}
BENCHMARK(BM_GraphicEq31);
// Knobs: Size, RefC, DirR, RefR, RevR; range(0) picks the room.
void BM_ModalReverb(benchmark::State& state) {
    const double rooms[][5] = {
        {2.0, 0.85, 0.2, 0.3, 0.5},    // knob defaults: T60 0.71 s
        {8.0, 0.8, 0.3, 0.35, 0.35},   // "Large Hall": T60 2.06 s
    };
    orve::ModalReverb reverb(kRate, kChannels);
    reverb.SetParameters(rooms[state.range(0)]);
    state.SetLabel(state.range(0) == 0 ? "default room" : "Large Hall");
    RunRealTime(state, reverb);
}
BENCHMARK(BM_ModalReverb)->Arg(0)->Arg(1);

}  // namespace
