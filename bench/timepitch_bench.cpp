// Real-time factor of the time, pitch and modulation effects at 44100 Hz
// stereo in 576-frame blocks (audio seconds processed per wall-clock second).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "plugin/effect_factory.h"

namespace {

constexpr int32_t kRate = 44100, kChannels = 2, kFrames = 576;

// Runs one effect block after block the way the audio path does (capacity
// from ExtraOutput, in place), over a looped stretch of a harmonic tone.
void RunEffect(benchmark::State& state, int32_t effectId, const std::vector<double>& knobs) {
    auto effect = orve::MakeEffect(effectId, {kRate, kChannels, nullptr, nullptr});
    orve::KnobSpec knobTable[orve::kMaxKnobs];
    const int32_t count = effect->DescribeKnobs(knobTable);
    std::vector<double> values(std::max(count, 1));
    for (int32_t i = 0; i < count; ++i) values[i] = i < static_cast<int32_t>(knobs.size()) ? knobs[i] : knobTable[i].defaultValue;
    effect->SetParameters(values.data());

    const int32_t T = kFrames * kChannels;
    std::vector<double> source(T * 64);
    for (size_t f = 0; f < source.size() / kChannels; ++f) {
        double v = 0.0;
        for (int h = 1; h <= 6; ++h) v += std::sin(2.0 * M_PI * h * 196.0 * f / kRate) / h;
        for (int32_t c = 0; c < kChannels; ++c) source[f * kChannels + c] = 8000.0 * v;
    }
    std::vector<double> block(2 * T);
    size_t position = 0;
    double wall = 0.0;
    int64_t blocks = 0;
    for (auto _ : state) {
        std::copy(source.begin() + position, source.begin() + position + T, block.begin());
        position = (position + T) % source.size();
        const int32_t extra = effect->ExtraOutput();
        const int32_t capacity = extra > T ? 2 * T : T + extra;
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(effect->ProcessBlock(block.data(), block.data(), T, capacity, 3));
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++blocks;
    }
    const double audio = static_cast<double>(blocks) * kFrames / kRate;
    state.counters["rtf"] = wall > 0.0 ? audio / wall : 0.0;
    state.SetItemsProcessed(blocks * kFrames);
}

void BM_PitchScalerChild(benchmark::State& s) { RunEffect(s, 19, {0.4}); }
void BM_TempoScalerSlowest(benchmark::State& s) { RunEffect(s, 18, {1.0}); }
void BM_TempoScalerUnity(benchmark::State& s) { RunEffect(s, 18, {0.0}); }
void BM_TempoScalerFastest(benchmark::State& s) { RunEffect(s, 18, {-1.3}); }
void BM_ResamplerDownSample(benchmark::State& s) { RunEffect(s, 17, {-0.4}); }
void BM_ResamplerUpSample(benchmark::State& s) { RunEffect(s, 17, {0.4}); }
void BM_Vibrato(benchmark::State& s) { RunEffect(s, 20, {}); }
void BM_Whisper(benchmark::State& s) { RunEffect(s, 21, {}); }

}  // namespace

BENCHMARK(BM_PitchScalerChild);
BENCHMARK(BM_TempoScalerSlowest);
BENCHMARK(BM_TempoScalerUnity);
BENCHMARK(BM_TempoScalerFastest);
BENCHMARK(BM_ResamplerDownSample);
BENCHMARK(BM_ResamplerUpSample);
BENCHMARK(BM_Vibrato);
BENCHMARK(BM_Whisper);
