// The fast transform's passes four doubles at a time with fused multiply-add
// (AVX2 and FMA). Built with those instructions enabled (see CMakeLists.txt)
// and only ever called after FftEngine has seen the processor report both.
// Nothing here may come from a header with shared inline code: the linker
// could keep this file's copy, built for AVX2, for every caller.
#include "dsp/fft_plan.h"

#if defined(__AVX2__) && defined(__FMA__)
#include <immintrin.h>

namespace orve::fft {
namespace {

using V = __m256d;
constexpr int kW = 4;

inline V Load(const double* p) { return _mm256_loadu_pd(p); }
inline void Store(double* p, V v) { _mm256_storeu_pd(p, v); }
inline V Set1(double a) { return _mm256_set1_pd(a); }
inline V Add(V a, V b) { return _mm256_add_pd(a, b); }
inline V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
inline V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
inline V MulAdd(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
inline V MulSub(V a, V b, V c) { return _mm256_fmsub_pd(a, b, c); }
inline V NegMulAdd(V a, V b, V c) { return _mm256_fnmadd_pd(a, b, c); }
inline V Reverse(V a) { return _mm256_permute4x64_pd(a, 0x1B); }
inline V Mirror(V b0, V b1) { return _mm256_permute4x64_pd(_mm256_blend_pd(b0, b1, 1), 0x6C); }
inline void Transpose(V* r) {
    const V t0 = _mm256_unpacklo_pd(r[0], r[1]), t1 = _mm256_unpackhi_pd(r[0], r[1]);
    const V t2 = _mm256_unpacklo_pd(r[2], r[3]), t3 = _mm256_unpackhi_pd(r[2], r[3]);
    r[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    r[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    r[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    r[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}
inline void LoadDeinterleave(const double* p, V& re, V& im) {
    const V a = Load(p), b = Load(p + 4);   // r0 i0 r1 i1, r2 i2 r3 i3
    const V lo = _mm256_permute2f128_pd(a, b, 0x20), hi = _mm256_permute2f128_pd(a, b, 0x31);
    re = _mm256_unpacklo_pd(lo, hi);
    im = _mm256_unpackhi_pd(lo, hi);
}
inline void StoreInterleave(double* p, V re, V im) {
    const V lo = _mm256_unpacklo_pd(re, im), hi = _mm256_unpackhi_pd(re, im);   // r0 i0 r2 i2, r1 i1 r3 i3
    Store(p, _mm256_permute2f128_pd(lo, hi, 0x20));
    Store(p + 4, _mm256_permute2f128_pd(lo, hi, 0x31));
}

}  // namespace
}  // namespace orve::fft

#include "dsp/fft_kernels.h"

namespace orve::fft {

const Kernels* Avx2FmaKernels() {
    static const Kernels kernels = {Forward, Inverse};
    return &kernels;
}

}  // namespace orve::fft

#else

namespace orve::fft {
const Kernels* Avx2FmaKernels() { return nullptr; }
}  // namespace orve::fft

#endif
