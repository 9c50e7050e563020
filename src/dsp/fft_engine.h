#pragma once
// FFT for real signals of even length N = 2M.
//
// The N real samples are packed into M complex points (even samples real, odd
// samples imaginary), transformed as M complex points, and split into the
// half spectrum of the real signal. Forward output layout:
//   X0.re, X1.re, X1.im, ..., X(M-1).re, X(M-1).im, XM.re   (unnormalised)
// The inverse carries the 1/N. Nothing is allocated after construction.
//
// Two paths compute the same transform. The reference path is the plain one:
// digit-reversal gather, mixed-radix decimation-in-time passes (RunPass) with
// twiddles by recurrence, split. The fast path (fft_plan.h) runs self-sorting
// passes of radix 2..8 over blocks of re and im with precomputed twiddles,
// vectorised for the widest instruction set the processor offers (a narrower
// one where a length does not fill the wider vectors). It serves every even M
// from 4 up without a prime factor above 7, which covers every length the
// effects build from 8 samples up; other lengths take the reference path.
#include <cstdint>

#include "dsp/fft_plan.h"
#include "dsp/instruction_set.h"

namespace orve {

namespace simd {
struct Kernels;
}

// What a transform object is built for: real signals of N samples (what every
// effect uses), or sequences of N complex points without the split tables.
enum class FftKind : int32_t { Complex = 1, Real = 2 };

class FftEngine {
public:
    static constexpr int kMaxFactors = 20;   // passes are indexed 1..19
    static constexpr int kMaxRadix = 101;

    // Real: transforms of `points` samples (M = points / 2). Complex: M =
    // points, no split tables. Ends the process with status 1 when M has a
    // factor the passes cannot handle (first pass radix above 101).
    // `instructions` is the widest kernel set the fast path may use
    // (kReference: none); the engine takes the widest set up to it that the
    // processor runs and the length suits, or the reference path when none does.
    FftEngine(int32_t points, FftKind kind, InstructionSet instructions = FastestInstructionSet());
    ~FftEngine();
    FftEngine(const FftEngine&) = delete;
    FftEngine& operator=(const FftEngine&) = delete;

    void ForwardReal(double* x);
    void InverseReal(double* x);
    void ForwardRealReference(double* x);
    void InverseRealReference(double* x);
    // One decimation-in-time pass over the complex work arrays.
    void RunPass(int32_t stride, int32_t factor, int32_t groups);

    // The kernels in use: kReference on the reference path.
    InstructionSet Instructions() const { return instructions; }

    int32_t Points() const { return points; }
    int32_t ComplexPoints() const { return complexPoints; }
    int32_t FactorCount() const { return factorCount; }
    int32_t Factor(int i) const { return factor[i]; }   // 1-based
    const int32_t* GatherIndex() const { return gatherIndex; }
    const int32_t* ScatterIndex() const { return scatterIndex; }
    double* Re() { return re; }
    double* Im() { return im; }

private:
    // Groups of one pass offset for a radix without a dedicated kernel.
    void GeneralOddGroups(int32_t stride, int32_t radix, int32_t groups, int32_t offset);
    void GeneralOddButterfly(int32_t radix);
    bool BuildFastPlan(int32_t width);

    int32_t stride[kMaxFactors] = {};
    int32_t factor[kMaxFactors] = {};
    int32_t groups[kMaxFactors] = {};
    double twiddleRe[kMaxRadix] = {}, twiddleIm[kMaxRadix] = {};
    double rootsRe[kMaxRadix] = {}, rootsIm[kMaxRadix] = {};
    double workRe[kMaxRadix] = {}, workIm[kMaxRadix] = {};
    double pairSumRe[(kMaxRadix + 1) / 2] = {}, pairSumIm[(kMaxRadix + 1) / 2] = {};
    double pairDiffRe[(kMaxRadix + 1) / 2] = {}, pairDiffIm[(kMaxRadix + 1) / 2] = {};
    int32_t factorCount = 0;
    int32_t rootsRadix = 0;
    int32_t complexPoints = 0;   // M
    int32_t points = 0;          // N
    FftKind kind = FftKind::Real;
    int32_t* indexBlock = nullptr;
    int32_t* scatterIndex = nullptr;
    int32_t* gatherIndex = nullptr;
    double* workBlock = nullptr;
    double* re = nullptr;
    double* im = nullptr;
    double* splitBlock = nullptr;
    double* splitCos = nullptr;
    double* splitSin = nullptr;
    InstructionSet instructions = InstructionSet::kReference;
    const simd::Kernels* kernels = nullptr;   // null: reference path
    fft::Plan plan;
    double* fastBlock = nullptr;   // the second plane pair and the pass twiddles
};

}  // namespace orve
