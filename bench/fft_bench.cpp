// FftEngine against FFTW on the real transform pair the effects run per frame:
// one forward (packed half spectrum) and one inverse, in place.
//
// Lengths: the frame lengths the catalogue builds most (384 = 3·2^7 at 44100 Hz
// 0.01 s, 1024 .. 8192), 3072 = 3·2^10, and 1120 (M = 560 = 7·5·16, so a radix-7
// pass runs). FFTW plans its r2r halfcomplex transforms with FFTW_MEASURE once per
// length, outside the timed loop; its output order differs from ours but the
// work is the same transform pair.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <vector>

#include "dsp/fft_engine.h"

namespace {

std::vector<double> TestFrame(int n) {
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) x[i] = std::sin(0.37 * i) + 0.25 * std::cos(1.91 * i);
    return x;
}

void SetCounters(benchmark::State& state, int n) {
    // Transform pairs per second and the conventional 5 N log2 N flop rate of
    // both transforms together (real transforms count half).
    state.SetItemsProcessed(state.iterations());
    state.counters["mflops"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 5.0 * n * std::log2(static_cast<double>(n)) * 1e-6,
        benchmark::Counter::kIsRate);
}

void BM_FftEngineRealPair(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    orve::FftEngine fft(n, orve::FftKind::Real);
    std::vector<double> x = TestFrame(n);
    for (auto _ : state) {
        fft.ForwardReal(x.data());
        fft.InverseReal(x.data());
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, n);
}

void BM_FftwRealPair(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    double* x = fftw_alloc_real(n);
    double* y = fftw_alloc_real(n);
    fftw_plan forward = fftw_plan_r2r_1d(n, x, y, FFTW_R2HC, FFTW_MEASURE);
    fftw_plan inverse = fftw_plan_r2r_1d(n, y, x, FFTW_HC2R, FFTW_MEASURE);
    const std::vector<double> frame = TestFrame(n);
    for (int i = 0; i < n; ++i) x[i] = frame[i];
    const double scale = 1.0 / n;
    for (auto _ : state) {
        fftw_execute(forward);
        fftw_execute(inverse);
        // FFTW leaves the 1/N out; the engine's inverse carries it.
        for (int i = 0; i < n; ++i) x[i] *= scale;
        benchmark::DoNotOptimize(x);
        benchmark::ClobberMemory();
    }
    SetCounters(state, n);
    fftw_destroy_plan(forward);
    fftw_destroy_plan(inverse);
    fftw_free(x);
    fftw_free(y);
}

void Lengths(benchmark::internal::Benchmark* b) {
    for (int n : {384, 1024, 1120, 2048, 3072, 4096, 8192}) b->Arg(n);
}

}  // namespace

BENCHMARK(BM_FftEngineRealPair)->Apply(Lengths);
BENCHMARK(BM_FftwRealPair)->Apply(Lengths);
