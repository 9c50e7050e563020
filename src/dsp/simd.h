#pragma once
// What each instruction-set file (simd_*.cpp) provides: the fast FFT passes
// and the per-bin maths, compiled from the shared templates (fft_kernels.h,
// spectrum_math_kernels.h) for its own vector type.
#include <cstdint>

#include "dsp/fft_plan.h"
#include "dsp/instruction_set.h"

namespace orve::simd {

struct Kernels {
    int32_t width;   // doubles per vector
    void (*fftForward)(const fft::Plan&, double* x);
    void (*fftInverse)(const fft::Plan&, double* x);
    void (*magnitudes)(const double* X, int32_t N, double* magnitude);
    void (*toPolar)(const double* X, int32_t N, double* magnitude, double* phase);
    void (*fromPolar)(const double* magnitude, const double* phase, int32_t N, double* X);
    void (*scaleBins)(const double* gain, int32_t N, double* X);
    void (*pow)(const double* base, double exponent, int32_t count, double* out);
    void (*atan2)(const double* y, const double* x, int32_t count, double* out);
    void (*sinCos)(const double* angle, int32_t count, double* sine, double* cosine);
};

// Null when this translation unit was built without the instruction set
// (another processor family, or a compiler without it).
const Kernels* PortableKernels();
const Kernels* Sse2Kernels();
const Kernels* Avx2FmaKernels();

// The kernels of a set this build and processor support; null for
// kReference and for unsupported sets.
const Kernels* KernelsFor(InstructionSet set);

}  // namespace orve::simd
