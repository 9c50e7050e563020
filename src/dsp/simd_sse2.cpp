// The vector kernels two doubles at a time (SSE2: every x86_64 processor,
// and the 32-bit build's baseline).
#include "dsp/simd.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace orve::simd {
namespace {

using V = __m128d;
constexpr int kW = 2;

inline V Load(const double* p) { return _mm_loadu_pd(p); }
inline void Store(double* p, V v) { _mm_storeu_pd(p, v); }
inline V Set1(double a) { return _mm_set1_pd(a); }
inline V Bits(uint64_t b) { return _mm_castsi128_pd(_mm_set1_epi64x(static_cast<long long>(b))); }
inline V Add(V a, V b) { return _mm_add_pd(a, b); }
inline V Sub(V a, V b) { return _mm_sub_pd(a, b); }
inline V Mul(V a, V b) { return _mm_mul_pd(a, b); }
inline V Div(V a, V b) { return _mm_div_pd(a, b); }
inline V Sqrt(V a) { return _mm_sqrt_pd(a); }
inline V MulAdd(V a, V b, V c) { return _mm_add_pd(_mm_mul_pd(a, b), c); }
inline V MulSub(V a, V b, V c) { return _mm_sub_pd(_mm_mul_pd(a, b), c); }
inline V NegMulAdd(V a, V b, V c) { return _mm_sub_pd(c, _mm_mul_pd(a, b)); }
inline V Min(V a, V b) { return _mm_min_pd(a, b); }
inline V Max(V a, V b) { return _mm_max_pd(a, b); }
inline V And(V a, V b) { return _mm_and_pd(a, b); }
inline V AndNot(V a, V b) { return _mm_andnot_pd(a, b); }
inline V Or(V a, V b) { return _mm_or_pd(a, b); }
inline V Xor(V a, V b) { return _mm_xor_pd(a, b); }
inline V Abs(V a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
inline V Less(V a, V b) { return _mm_cmplt_pd(a, b); }
inline V Equal(V a, V b) { return _mm_cmpeq_pd(a, b); }
inline V Select(V mask, V a, V b) { return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b)); }
// No 64-bit arithmetic shift: spread the high word's sign over both words.
inline V SignMask(V a) {
    return _mm_castsi128_pd(_mm_shuffle_epi32(_mm_srai_epi32(_mm_castpd_si128(a), 31), _MM_SHUFFLE(3, 3, 1, 1)));
}
template <int n>
inline V ShiftLeft(V a) { return _mm_castsi128_pd(_mm_slli_epi64(_mm_castpd_si128(a), n)); }
template <int n>
inline V ShiftRight(V a) { return _mm_castsi128_pd(_mm_srli_epi64(_mm_castpd_si128(a), n)); }
inline V AddBits(V a, V b) { return _mm_castsi128_pd(_mm_add_epi64(_mm_castpd_si128(a), _mm_castpd_si128(b))); }
inline V Reverse(V a) { return _mm_shuffle_pd(a, a, 1); }
inline V Mirror(V b0, V b1) { return _mm_move_sd(b0, b1); }
inline void Transpose(V* r) {
    const V t = _mm_unpacklo_pd(r[0], r[1]);
    r[1] = _mm_unpackhi_pd(r[0], r[1]);
    r[0] = t;
}
inline void LoadDeinterleave(const double* p, V& re, V& im) {
    const V a = Load(p), b = Load(p + 2);
    re = _mm_unpacklo_pd(a, b);
    im = _mm_unpackhi_pd(a, b);
}
inline void StoreInterleave(double* p, V re, V im) {
    Store(p, _mm_unpacklo_pd(re, im));
    Store(p + 2, _mm_unpackhi_pd(re, im));
}

}  // namespace
}  // namespace orve::simd

#include "dsp/fft_kernels.h"
#include "dsp/spectrum_math_kernels.h"

namespace orve::simd {

const Kernels* Sse2Kernels() {
    static const Kernels kernels = {kW,      Forward,  Inverse,    Magnitudes, ToPolar,
                                    FromPolar, ScaleBins, PowArray, Atan2Array, SinCosArray};
    return &kernels;
}

}  // namespace orve::simd

#else

namespace orve::simd {
const Kernels* Sse2Kernels() { return nullptr; }
}  // namespace orve::simd

#endif
