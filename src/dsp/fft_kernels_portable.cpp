// The fast transform's passes one double at a time: any processor, and the
// pattern the vector kernels follow.
#include "dsp/fft_plan.h"

namespace orve::fft {
namespace {

using V = double;
constexpr int kW = 1;

inline V Load(const double* p) { return *p; }
inline void Store(double* p, V v) { *p = v; }
inline V Set1(double a) { return a; }
inline V Add(V a, V b) { return a + b; }
inline V Sub(V a, V b) { return a - b; }
inline V Mul(V a, V b) { return a * b; }
inline V MulAdd(V a, V b, V c) { return a * b + c; }
inline V MulSub(V a, V b, V c) { return a * b - c; }
inline V NegMulAdd(V a, V b, V c) { return c - a * b; }
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
}  // namespace orve::fft

#include "dsp/fft_kernels.h"

namespace orve::fft {

const Kernels* PortableKernels() {
    static const Kernels kernels = {Forward, Inverse};
    return &kernels;
}

}  // namespace orve::fft
