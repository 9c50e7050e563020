// The convolution's complex multiply-adds four bins per instruction (AVX2).
// Built with AVX2 but without FMA (see CMakeLists.txt): each product and sum
// is rounded as the plain loop rounds it, so this path gives the reference's
// bits. Called only where the processor has AVX2.
#include "dsp/convolution_kernel.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace orve {

#if defined(__AVX2__)

void MultiplyAddAvx2(const double* kRe, const double* kIm, const double* xRe, const double* xIm, double* accRe,
                     double* accIm, int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; i += 4) {
        const __m256d kr = _mm256_loadu_pd(kRe + i), ki = _mm256_loadu_pd(kIm + i);
        const __m256d xr = _mm256_loadu_pd(xRe + i), xi = _mm256_loadu_pd(xIm + i);
        const __m256d re = _mm256_sub_pd(_mm256_mul_pd(kr, xr), _mm256_mul_pd(ki, xi));
        const __m256d im = _mm256_add_pd(_mm256_mul_pd(kr, xi), _mm256_mul_pd(ki, xr));
        _mm256_storeu_pd(accRe + i, _mm256_add_pd(_mm256_loadu_pd(accRe + i), re));
        _mm256_storeu_pd(accIm + i, _mm256_add_pd(_mm256_loadu_pd(accIm + i), im));
    }
}

void MultiplyAddAvx2(const float* kRe, const float* kIm, const float* xRe, const float* xIm, double* accRe,
                     double* accIm, int32_t begin, int32_t end) {
    // The single-precision spectra are widened and multiplied in double.
    for (int32_t i = begin; i < end; i += 4) {
        const __m256d kr = _mm256_cvtps_pd(_mm_loadu_ps(kRe + i)), ki = _mm256_cvtps_pd(_mm_loadu_ps(kIm + i));
        const __m256d xr = _mm256_cvtps_pd(_mm_loadu_ps(xRe + i)), xi = _mm256_cvtps_pd(_mm_loadu_ps(xIm + i));
        const __m256d re = _mm256_sub_pd(_mm256_mul_pd(kr, xr), _mm256_mul_pd(ki, xi));
        const __m256d im = _mm256_add_pd(_mm256_mul_pd(kr, xi), _mm256_mul_pd(ki, xr));
        _mm256_storeu_pd(accRe + i, _mm256_add_pd(_mm256_loadu_pd(accRe + i), re));
        _mm256_storeu_pd(accIm + i, _mm256_add_pd(_mm256_loadu_pd(accIm + i), im));
    }
}

bool MultiplyAddAvx2Usable() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

#else

void MultiplyAddAvx2(const double* kRe, const double* kIm, const double* xRe, const double* xIm, double* accRe,
                     double* accIm, int32_t begin, int32_t end) {
    MultiplyAddReference(kRe, kIm, xRe, xIm, accRe, accIm, begin, end);
}

void MultiplyAddAvx2(const float* kRe, const float* kIm, const float* xRe, const float* xIm, double* accRe,
                     double* accIm, int32_t begin, int32_t end) {
    MultiplyAddReference(kRe, kIm, xRe, xIm, accRe, accIm, begin, end);
}

bool MultiplyAddAvx2Usable() { return false; }

#endif

}  // namespace orve
