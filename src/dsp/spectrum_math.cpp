#include "dsp/spectrum_math.h"

#include <cmath>
#include <initializer_list>

#include "dsp/simd.h"

namespace orve {

SpectrumMath::SpectrumMath(InstructionSet wanted) {
    if (wanted == InstructionSet::kReference) return;
    for (InstructionSet set : {InstructionSet::kAvx2Fma, InstructionSet::kSse2, InstructionSet::kPortable})
        if (set <= wanted && (kernels = simd::KernelsFor(set)) != nullptr) {
            instructions = set;
            return;
        }
}

void SpectrumMath::Magnitudes(const double* X, int32_t N, double* magnitude) const {
    if (kernels) return kernels->magnitudes(X, N, magnitude);
    const int32_t K = N / 2 + 1;
    magnitude[0] = std::fabs(X[0]);
    magnitude[K - 1] = std::fabs(X[N - 1]);
    for (int32_t k = 1; k < K - 1; ++k) magnitude[k] = std::sqrt(X[2 * k - 1] * X[2 * k - 1] + X[2 * k] * X[2 * k]);
}

void SpectrumMath::ToPolar(const double* X, int32_t N, double* magnitude, double* phase) const {
    if (kernels) return kernels->toPolar(X, N, magnitude, phase);
    const int32_t K = N / 2 + 1;
    Magnitudes(X, N, magnitude);
    phase[0] = X[0] > 0.0 ? 0.0 : M_PI;
    phase[K - 1] = X[N - 1] > 0.0 ? 0.0 : M_PI;
    for (int32_t k = 1; k < K - 1; ++k) {
        const double re = X[2 * k - 1], im = X[2 * k];
        phase[k] = (re == 0.0 && im == 0.0) ? 0.0 : std::atan2(im, re);
    }
}

void SpectrumMath::FromPolar(const double* magnitude, const double* phase, int32_t N, double* X) const {
    if (kernels) return kernels->fromPolar(magnitude, phase, N, X);
    const int32_t K = N / 2 + 1;
    X[0] = magnitude[0] * std::cos(phase[0]);
    X[N - 1] = magnitude[K - 1] * std::cos(phase[K - 1]);
    for (int32_t k = 1; k < K - 1; ++k) {
        X[2 * k - 1] = magnitude[k] * std::cos(phase[k]);
        X[2 * k] = magnitude[k] * std::sin(phase[k]);
    }
}

void SpectrumMath::ScaleBins(const double* gain, int32_t N, double* X) const {
    if (kernels) return kernels->scaleBins(gain, N, X);
    const int32_t K = N / 2 + 1;
    X[0] *= gain[0];
    X[N - 1] *= gain[K - 1];
    for (int32_t k = 1; k < K - 1; ++k) {
        X[2 * k - 1] *= gain[k];
        X[2 * k] *= gain[k];
    }
}

void SpectrumMath::Pow(const double* base, double exponent, int32_t count, double* out) const {
    if (kernels) return kernels->pow(base, exponent, count, out);
    for (int32_t i = 0; i < count; ++i) out[i] = std::pow(base[i], exponent);
}

void SpectrumMath::Atan2(const double* y, const double* x, int32_t count, double* out) const {
    if (kernels) return kernels->atan2(y, x, count, out);
    for (int32_t i = 0; i < count; ++i) out[i] = (y[i] == 0.0 && x[i] == 0.0) ? 0.0 : std::atan2(y[i], x[i]);
}

void SpectrumMath::SinCos(const double* angle, int32_t count, double* sine, double* cosine) const {
    if (kernels) return kernels->sinCos(angle, count, sine, cosine);
    for (int32_t i = 0; i < count; ++i) {
        sine[i] = std::sin(angle[i]);
        cosine[i] = std::cos(angle[i]);
    }
}

}  // namespace orve
