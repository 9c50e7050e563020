#pragma once
// The fast real transform of FftEngine: what the instruction-set kernels
// (fft_kernels_*.cpp) need to run it. Built once per engine; the kernels only
// read the plan and write the two plane pairs and the caller's array.
//
// The complex M-point transform runs as self-sorting (Stockham) passes,
// decimation in frequency: pass i with radix R, sub-length n and stride s
// (n * s = M, m = n / R) reads a_k = z[q + s (p + k m)], takes their R-point
// DFT b_j and writes b_j w_n^(j p) to z'[q + s (R p + j)], p < m, q < s. The
// result lands in natural order, so no permutation pass is needed, and every
// pass but the first runs along q on whole vectors with one twiddle per
// (p, j). The first pass (s = 1) runs along p instead and transposes its
// outputs; it also reads the real input directly, the even samples as real
// and the odd ones as imaginary parts.
//
// The work buffers hold z in blocks of W points (W the kernels' vector
// width): W real parts, then their W imaginary parts. A block of four is one
// cache line, and a pass touches half as many lines as it would over two
// separate planes, whose power-of-two strides would share cache sets.
#include <cstdint>

namespace orve::fft {

constexpr int32_t kMaxPasses = 16;

struct Pass {
    int32_t radix = 0;
    int32_t n = 0;   // sub-transform length at this pass
    int32_t s = 0;   // stride: product of the earlier radices
    // w_n^(j p), j = 1..R-1, p = 0..m-1. First pass: planes (all re for j = 1,
    // j = 2, .., then all im), read as vectors along p. Later passes: (re, im)
    // pairs in (p, j) order, broadcast along q.
    const double* twiddles = nullptr;
};

struct Plan {
    int32_t points = 0;   // M complex points, a multiple of 32
    int32_t passCount = 0;
    Pass pass[kMaxPasses];
    double* buffer[2] = {};   // 2M doubles each, 64-byte aligned: the passes alternate between them
    const double* splitCos = nullptr;   // cos(pi k / M), sin(pi k / M)
    const double* splitSin = nullptr;
};

}  // namespace orve::fft
