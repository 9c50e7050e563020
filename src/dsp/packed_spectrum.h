#pragma once
// Polar form of a packed half spectrum (X0.re, X1.re, X1.im, ..., XM.re) of
// N real samples: K = N/2 + 1 magnitudes and phases.
#include <cmath>
#include <cstdint>

namespace orve {

inline void PackedToPolar(const double* X, int32_t N, double* magnitude, double* phase) {
    const int32_t K = N / 2 + 1;
    // DC and Nyquist are real: their phase carries only the sign.
    magnitude[0] = std::fabs(X[0]);
    phase[0] = X[0] > 0.0 ? 0.0 : M_PI;
    magnitude[K - 1] = std::fabs(X[N - 1]);
    phase[K - 1] = X[N - 1] > 0.0 ? 0.0 : M_PI;
    for (int32_t k = 1; k < K - 1; ++k) {
        const double re = X[2 * k - 1], im = X[2 * k];
        magnitude[k] = std::sqrt(re * re + im * im);
        phase[k] = (re == 0.0 && im == 0.0) ? 0.0 : std::atan2(im, re);
    }
}

inline void PolarToPacked(const double* magnitude, const double* phase, int32_t N, double* X) {
    const int32_t K = N / 2 + 1;
    X[0] = magnitude[0] * std::cos(phase[0]);
    X[N - 1] = magnitude[K - 1] * std::cos(phase[K - 1]);
    for (int32_t k = 1; k < K - 1; ++k) {
        X[2 * k - 1] = magnitude[k] * std::cos(phase[k]);
        X[2 * k] = magnitude[k] * std::sin(phase[k]);
    }
}

}  // namespace orve
