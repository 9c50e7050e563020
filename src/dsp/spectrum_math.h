#pragma once
// The per-bin maths of the spectral effects over whole arrays: magnitudes,
// polar form, gains, powers, angles and sines of a frame's bins, vectorised
// for the widest instruction set the processor offers and free of C library
// calls (see spectrum_math_kernels.h for the accuracy of each). Built with
// InstructionSet::kReference it runs the plain C library code the fast
// kernels are checked against.
//
// Spectra are in FftEngine's packed half-spectrum layout: N values holding
// K = N/2 + 1 bins, DC and Nyquist real.
#include <cstdint>

#include "dsp/instruction_set.h"

namespace orve {

namespace simd {
struct Kernels;
}

class SpectrumMath {
public:
    // The widest kernels up to `instructions` that this processor runs.
    explicit SpectrumMath(InstructionSet instructions = FastestInstructionSet());
    InstructionSet Instructions() const { return instructions; }

    // |X[k]| for the K bins.
    void Magnitudes(const double* X, int32_t N, double* magnitude) const;
    // Magnitude and phase of the K bins; a real bin's phase is 0 when it is
    // positive, else pi, and an empty bin's is 0.
    void ToPolar(const double* X, int32_t N, double* magnitude, double* phase) const;
    // The inverse of ToPolar (DC and Nyquist take magnitude times the cosine).
    void FromPolar(const double* magnitude, const double* phase, int32_t N, double* X) const;
    // Multiplies each bin by its real gain: the polar round trip without the angle.
    void ScaleBins(const double* gain, int32_t N, double* X) const;
    // out[i] = base[i]^exponent for base[i] >= 0.
    void Pow(const double* base, double exponent, int32_t count, double* out) const;
    // out[i] = atan2(y[i], x[i]), and 0 where both are 0.
    void Atan2(const double* y, const double* x, int32_t count, double* out) const;
    void SinCos(const double* angle, int32_t count, double* sine, double* cosine) const;

private:
    InstructionSet instructions = InstructionSet::kReference;
    const simd::Kernels* kernels = nullptr;   // null: the C library
};

}  // namespace orve
