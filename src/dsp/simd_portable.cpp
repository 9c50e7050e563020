// The vector kernels one double at a time: any processor, and the pattern
// the wider ones follow.
#include <cstdint>
#include <cstring>

#include "dsp/simd.h"

namespace orve::simd {
namespace {

using V = double;
constexpr int kW = 1;

inline uint64_t ToBits(V a) {
    uint64_t b;
    std::memcpy(&b, &a, sizeof b);
    return b;
}
inline V FromBits(uint64_t b) {
    V a;
    std::memcpy(&a, &b, sizeof a);
    return a;
}

// The x87 unit (32-bit x86 built without SSE maths) keeps results in extended
// precision until they are stored, which defeats the maths' rounding trick
// (adding 1.5 * 2^52 must round to an integer): there every result is stored.
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
inline V Rounded(long double a) {
    volatile double stored = static_cast<double>(a);
    return stored;
}
#else
inline V Rounded(V a) { return a; }
#endif

inline V Load(const double* p) { return *p; }
inline void Store(double* p, V v) { *p = v; }
inline V Set1(double a) { return a; }
inline V Bits(uint64_t b) { return FromBits(b); }
inline V Add(V a, V b) { return Rounded(a + b); }
inline V Sub(V a, V b) { return Rounded(a - b); }
inline V Mul(V a, V b) { return Rounded(a * b); }
inline V Div(V a, V b) { return Rounded(a / b); }
inline V Sqrt(V a) { return Rounded(__builtin_sqrt(a)); }
inline V MulAdd(V a, V b, V c) { return Rounded(a * b + c); }
inline V MulSub(V a, V b, V c) { return Rounded(a * b - c); }
inline V NegMulAdd(V a, V b, V c) { return Rounded(c - a * b); }
inline V Min(V a, V b) { return b < a ? b : a; }
inline V Max(V a, V b) { return a < b ? b : a; }
inline V And(V a, V b) { return FromBits(ToBits(a) & ToBits(b)); }
inline V AndNot(V a, V b) { return FromBits(~ToBits(a) & ToBits(b)); }
inline V Or(V a, V b) { return FromBits(ToBits(a) | ToBits(b)); }
inline V Xor(V a, V b) { return FromBits(ToBits(a) ^ ToBits(b)); }
inline V Abs(V a) { return __builtin_fabs(a); }
inline V Less(V a, V b) { return FromBits(a < b ? ~0ull : 0ull); }
inline V Equal(V a, V b) { return FromBits(a == b ? ~0ull : 0ull); }
inline V Select(V mask, V a, V b) { return ToBits(mask) ? a : b; }
inline V SignMask(V a) { return FromBits(ToBits(a) >> 63 ? ~0ull : 0ull); }
template <int n>
inline V ShiftLeft(V a) { return FromBits(ToBits(a) << n); }
template <int n>
inline V ShiftRight(V a) { return FromBits(ToBits(a) >> n); }
inline V AddBits(V a, V b) { return FromBits(ToBits(a) + ToBits(b)); }
inline V Reverse(V a) { return a; }
inline V Mirror(V, V b1) { return b1; }
inline void Transpose(V*) {}
inline void LoadDeinterleave(const double* p, V& re, V& im) {
    re = p[0];
    im = p[1];
}
inline void StoreInterleave(double* p, V re, V im) {
    p[0] = re;
    p[1] = im;
}

}  // namespace
}  // namespace orve::simd

#include "dsp/fft_kernels.h"
#include "dsp/spectrum_math_kernels.h"

namespace orve::simd {

const Kernels* PortableKernels() {
    static const Kernels kernels = {kW,      Forward,  Inverse,    Magnitudes, ToPolar,
                                    FromPolar, ScaleBins, PowArray, Atan2Array, SinCosArray};
    return &kernels;
}

}  // namespace orve::simd
