// Throughput of the audio path with the pass-through effect.
#include <benchmark/benchmark.h>

#include <vector>

#include "plugin/audio_path.h"
#include "plugin/plugin_state.h"

static void BM_AudioPathPassThrough(benchmark::State& state) {
    orve::PluginState plugin(nullptr);
    const int frames = 576;
    std::vector<int16_t> block(2 * frames * 2);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<int16_t>((i * 37) % 20000 - 10000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(orve::ModifySamples(plugin, block.data(), frames, 16, 2, 44100));
    }
    state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_AudioPathPassThrough);
