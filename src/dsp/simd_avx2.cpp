// The vector kernels four doubles at a time with fused multiply-add (AVX2 and
// FMA). Built with those instructions enabled (see CMakeLists.txt) and only
// ever called after the processor has reported both. Nothing here may come
// from a header with shared inline code: the linker could keep this file's
// copy, built for AVX2, for every caller.
#include "dsp/simd.h"

#if defined(__AVX2__) && defined(__FMA__)
#include <immintrin.h>

namespace orve::simd {
namespace {

using V = __m256d;
constexpr int kW = 4;

inline V Load(const double* p) { return _mm256_loadu_pd(p); }
inline void Store(double* p, V v) { _mm256_storeu_pd(p, v); }
inline V Set1(double a) { return _mm256_set1_pd(a); }
inline V Bits(uint64_t b) { return _mm256_castsi256_pd(_mm256_set1_epi64x(static_cast<long long>(b))); }
inline V Add(V a, V b) { return _mm256_add_pd(a, b); }
inline V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
inline V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
inline V Div(V a, V b) { return _mm256_div_pd(a, b); }
inline V Sqrt(V a) { return _mm256_sqrt_pd(a); }
inline V MulAdd(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
inline V MulSub(V a, V b, V c) { return _mm256_fmsub_pd(a, b, c); }
inline V NegMulAdd(V a, V b, V c) { return _mm256_fnmadd_pd(a, b, c); }
inline V Min(V a, V b) { return _mm256_min_pd(a, b); }
inline V Max(V a, V b) { return _mm256_max_pd(a, b); }
inline V And(V a, V b) { return _mm256_and_pd(a, b); }
inline V AndNot(V a, V b) { return _mm256_andnot_pd(a, b); }
inline V Or(V a, V b) { return _mm256_or_pd(a, b); }
inline V Xor(V a, V b) { return _mm256_xor_pd(a, b); }
inline V Abs(V a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
inline V Less(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
inline V Equal(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
inline V Select(V mask, V a, V b) { return _mm256_blendv_pd(b, a, mask); }
inline V SignMask(V a) {
    return _mm256_castsi256_pd(
        _mm256_shuffle_epi32(_mm256_srai_epi32(_mm256_castpd_si256(a), 31), _MM_SHUFFLE(3, 3, 1, 1)));
}
template <int n>
inline V ShiftLeft(V a) { return _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_castpd_si256(a), n)); }
template <int n>
inline V ShiftRight(V a) { return _mm256_castsi256_pd(_mm256_srli_epi64(_mm256_castpd_si256(a), n)); }
inline V AddBits(V a, V b) {
    return _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(a), _mm256_castpd_si256(b)));
}
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
}  // namespace orve::simd

#include "dsp/fft_kernels.h"
#include "dsp/spectrum_math_kernels.h"

namespace orve::simd {

const Kernels* Avx2FmaKernels() {
    static const Kernels kernels = {kW,      Forward,  Inverse,    Magnitudes, ToPolar,
                                    FromPolar, ScaleBins, PowArray, Atan2Array, SinCosArray};
    return &kernels;
}

}  // namespace orve::simd

#else

namespace orve::simd {
const Kernels* Avx2FmaKernels() { return nullptr; }
}  // namespace orve::simd

#endif
