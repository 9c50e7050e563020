// The fast transform's passes two doubles at a time (SSE2: every x86_64
// processor, and the 32-bit build's baseline).
#include "dsp/fft_plan.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace orve::fft {
namespace {

using V = __m128d;
constexpr int kW = 2;

inline V Load(const double* p) { return _mm_loadu_pd(p); }
inline void Store(double* p, V v) { _mm_storeu_pd(p, v); }
inline V Set1(double a) { return _mm_set1_pd(a); }
inline V Add(V a, V b) { return _mm_add_pd(a, b); }
inline V Sub(V a, V b) { return _mm_sub_pd(a, b); }
inline V Mul(V a, V b) { return _mm_mul_pd(a, b); }
inline V MulAdd(V a, V b, V c) { return _mm_add_pd(_mm_mul_pd(a, b), c); }
inline V MulSub(V a, V b, V c) { return _mm_sub_pd(_mm_mul_pd(a, b), c); }
inline V NegMulAdd(V a, V b, V c) { return _mm_sub_pd(c, _mm_mul_pd(a, b)); }
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
}  // namespace orve::fft

#include "dsp/fft_kernels.h"

namespace orve::fft {

const Kernels* Sse2Kernels() {
    static const Kernels kernels = {Forward, Inverse};
    return &kernels;
}

}  // namespace orve::fft

#else

namespace orve::fft {
const Kernels* Sse2Kernels() { return nullptr; }
}  // namespace orve::fft

#endif
