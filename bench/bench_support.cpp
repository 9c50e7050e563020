#include "bench_support.h"

#include <algorithm>
#include <cmath>

#include "platform/posix/embedded_kernels.h"
#include "analysis/signals.h"
#include "plugin/effect_factory.h"

namespace orve::bench {

std::vector<double> Programme(int32_t blocks) {
    const size_t frames = static_cast<size_t>(kFrames) * blocks;
    std::vector<double> x(kChannels * frames);
    analysis::Lcg noise(1);
    for (size_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / kRate;
        const double tones = 6000.0 * std::sin(2 * M_PI * 220.0 * t) + 3000.0 * std::sin(2 * M_PI * 660.0 * t) +
                             1500.0 * std::sin(2 * M_PI * 50.0 * t) + 1500.0 * std::sin(2 * M_PI * 6500.0 * t);
        for (int32_t c = 0; c < kChannels; ++c) {
            const double click = f % 2205 == 1000 ? 12000.0 : 0.0;
            x[kChannels * f + c] = (c ? 0.7 : 1.0) * tones + 500.0 * noise.Uniform() + click;
        }
    }
    return x;
}

std::unique_ptr<EffectProcessor> MakeWithKnobs(EffectId effectId, const std::vector<double>& knobs) {
    EmbeddedKernels kernels;   // linked-in data: it outlives the source object
    auto effect = MakeEffect(effectId, EffectBuildContext{kRate, kChannels, &kernels, nullptr});
    KnobSpec table[kMaxKnobs];
    const int32_t count = effect->DescribeKnobs(table);
    double values[kMaxKnobs] = {};
    for (int32_t i = 0; i < count; ++i)
        values[i] = i < static_cast<int32_t>(knobs.size()) ? knobs[i] : table[i].defaultValue;
    effect->SetParameters(values);
    return effect;
}

void RunRealTime(benchmark::State& state, EffectProcessor& effect, const std::vector<double>& programme) {
    const int32_t T = kFrames * kChannels;
    const size_t blocks = programme.size() / T;
    std::vector<double> block(2 * T);
    auto runBlock = [&](size_t b) {
        std::copy(programme.begin() + b * T, programme.begin() + (b + 1) * T, block.begin());
        const int32_t extra = effect.ExtraOutput();
        const int32_t capacity = extra > T ? 2 * T : T + std::max(extra, 0);
        return effect.ProcessBlock(block.data(), block.data(), T, capacity, 3);
    };
    RunWorkNow(effect);   // a room the knobs ask for is built before timing
    for (size_t b = 0; b < blocks; ++b) runBlock(b);
    size_t b = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(runBlock(b));
        b = (b + 1) % blocks;
    }
    // kIsRate divides by the CPU time the benchmark thread used.
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFrames / kRate,
                                               benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * kFrames);
}

}  // namespace orve::bench
