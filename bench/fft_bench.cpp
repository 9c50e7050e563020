// FftEngine against FFTW on the real transform pair the effects run per frame:
// one forward (packed half spectrum) and one inverse, in place.
//
// FFTW's fastest real path is r2c/c2r, planned with FFTW_MEASURE outside the
// timed loop, out of place and without the 1/N our inverse carries (so every
// advantage is FFTW's). Its r2r halfcomplex plans, which have no vector code,
// run beside it for comparison. BM_FftEngine's `x_fftw` is the engine's time
// over FFTW r2c/c2r's, both timed in alternating rounds on this thread's CPU
// clock, so that a neighbour's load on a shared machine affects both alike.
//
// Lengths: the frame lengths the effects build between 384 and 8192
// (2^k and 3·2^k), 1120 (M = 560 = 16·5·7: radix-5 and radix-7 passes) and 2880
// (the tempo scaler's 2·L·ch at 44100 Hz, five channels).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <vector>

#include "dsp/fft_engine.h"

namespace {

using orve::FftEngine;
using orve::InstructionSet;

std::vector<double> TestFrame(int n) {
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) x[i] = std::sin(0.37 * i) + 0.25 * std::cos(1.91 * i);
    return x;
}

// FFTW's r2c/c2r pair for one length, planned once.
struct FftwPair {
    explicit FftwPair(int n, bool halfcomplex = false) : n(n) {
        x = fftw_alloc_real(n);
        y = fftw_alloc_real(n + 2);
        if (halfcomplex) {
            forward = fftw_plan_r2r_1d(n, x, y, FFTW_R2HC, FFTW_MEASURE);
            inverse = fftw_plan_r2r_1d(n, y, x, FFTW_HC2R, FFTW_MEASURE);
        } else {
            auto* spectrum = reinterpret_cast<fftw_complex*>(y);
            forward = fftw_plan_dft_r2c_1d(n, x, spectrum, FFTW_MEASURE);
            inverse = fftw_plan_dft_c2r_1d(n, spectrum, x, FFTW_MEASURE);
        }
        const std::vector<double> frame = TestFrame(n);
        for (int i = 0; i < n; ++i) x[i] = frame[i] / n;
    }
    ~FftwPair() {
        fftw_destroy_plan(forward);
        fftw_destroy_plan(inverse);
        fftw_free(x);
        fftw_free(y);
    }
    void Run() {
        fftw_execute(forward);
        fftw_execute(inverse);
    }
    int n;
    double* x;
    double* y;
    fftw_plan forward, inverse;
};

struct EnginePair {
    EnginePair(int n, InstructionSet set) : fft(n, orve::FftKind::Real, set), x(TestFrame(n)) {}
    void Run() {
        fft.ForwardReal(x.data());
        fft.InverseReal(x.data());
    }
    FftEngine fft;
    std::vector<double> x;
};

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
}

// Engine time over FFTW time, in alternating rounds of about 2 ms each.
double RatioToFftw(EnginePair& engine, FftwPair& fftw) {
    const int reps = std::max(1, 4000000 / (engine.fft.Points() * 10));
    double ours = 0.0, theirs = 0.0;
    for (int round = 0; round < 20; ++round) {
        double t0 = ThreadSeconds();
        for (int i = 0; i < reps; ++i) engine.Run();
        const double t1 = ThreadSeconds();
        for (int i = 0; i < reps; ++i) fftw.Run();
        const double t2 = ThreadSeconds();
        ours += t1 - t0;
        theirs += t2 - t1;
    }
    return ours / theirs;
}

// Arguments: length, instruction set.
void BM_FftEngine(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto set = static_cast<InstructionSet>(state.range(1));
    if (!InstructionSetSupported(set)) {
        state.SkipWithError("instruction set not available on this processor");
        return;
    }
    static const char* const names[] = {"reference", "portable", "sse2", "avx2+fma"};
    state.SetLabel(names[static_cast<int>(set)]);
    EnginePair engine(n, set);
    for (auto _ : state) {
        engine.Run();
        benchmark::DoNotOptimize(engine.x.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    FftwPair fftw(n);
    state.counters["x_fftw"] = RatioToFftw(engine, fftw);
}

void BM_FftwR2cC2r(benchmark::State& state) {
    FftwPair fftw(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        fftw.Run();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FftwR2rHalfcomplex(benchmark::State& state) {
    FftwPair fftw(static_cast<int>(state.range(0)), true);
    for (auto _ : state) {
        fftw.Run();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

const int kLengths[] = {384, 512, 768, 1024, 1120, 1536, 2048, 2880, 3072, 4096, 6144, 8192};

void EngineArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"N", "isa"});
    for (auto set : {InstructionSet::kAvx2Fma, InstructionSet::kSse2, InstructionSet::kReference})
        for (int n : kLengths) b->Args({n, static_cast<int>(set)});
}

void FftwArgs(benchmark::internal::Benchmark* b) {
    for (int n : kLengths) b->Arg(n);
}

}  // namespace

BENCHMARK(BM_FftEngine)->Apply(EngineArgs);
BENCHMARK(BM_FftwR2cC2r)->Apply(FftwArgs);
BENCHMARK(BM_FftwR2rHalfcomplex)->Apply(FftwArgs);
