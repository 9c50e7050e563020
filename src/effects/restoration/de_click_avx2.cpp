// DeClick's kernels built for AVX2 (the build gives this file -mavx2 on x86;
// elsewhere it compiles to the baseline and reports itself unusable).
#include "effects/restoration/de_click_kernels.h"

namespace orve::declick {

void AutocorrelationAvx2(const double* y, int32_t length, int32_t lags, double* c) {
    AutocorrelationKernel(y, length, lags, c);
}

void WhitenAvx2(const double* x, int32_t from, int32_t to, const double* a, int32_t order, double* r) {
    WhitenKernel(x, from, to, a, order, r);
}

double CircularDistanceAvx2(const double* h, int32_t count, int32_t lag) { return CircularDistanceKernel(h, count, lag); }

bool Avx2Usable() {
#if defined(__AVX2__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace orve::declick
