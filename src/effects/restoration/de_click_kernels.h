#pragma once
// The loops that carry most of DeClick's work, written once here and built
// twice: for the baseline instruction set (de_click.cpp) and with AVX2
// (de_click_avx2.cpp), one of them chosen when the effect is built. They only
// multiply and add, in an order fixed by the source (fixed-length inner loops
// over neighbouring samples, which the compiler maps onto vector registers of
// either width), so both builds give the same bits.
#include <cmath>
#include <cstdint>

namespace orve::declick {

constexpr int32_t kBlock = 8;

// Internal linkage: each file gets its own copy built with its own instruction
// set. As ordinary inline functions the linker would keep one copy for both
// callers, and the AVX2 one would fault on processors without AVX2.
namespace {

// c[d] = sum_n y[n] y[n + d] for d = 0..lags (lags < length).
inline void AutocorrelationKernel(const double* y, int32_t length, int32_t lags, double* c) {
    for (int32_t d = 0; d <= lags; ++d) {
        const int32_t count = length - d;
        double partial[kBlock] = {};
        int32_t n = 0;
        for (; n + kBlock <= count; n += kBlock)
#pragma GCC unroll 8
            for (int32_t j = 0; j < kBlock; ++j) partial[j] += y[n + j] * y[n + j + d];
        double sum = 0.0;
        for (; n < count; ++n) sum += y[n] * y[n + d];
        for (int32_t j = 0; j < kBlock; ++j) sum += partial[j];
        c[d] = sum;
    }
}

// r[n] = x[n] + 0.5 sum_k a[k] (x[n+k] + x[n-k]) for n in [from, to); the
// caller keeps `order` samples of the frame on either side.
inline void WhitenKernel(const double* x, int32_t from, int32_t to, const double* a, int32_t order, double* r) {
    int32_t n = from;
    for (; n + kBlock <= to; n += kBlock) {
        double sum[kBlock] = {};
        for (int32_t k = 1; k <= order; ++k) {
            const double ak = a[k];
            const double* ahead = x + n + k;
            const double* behind = x + n - k;
            for (int32_t j = 0; j < kBlock; ++j) sum[j] += ak * (ahead[j] + behind[j]);
        }
        for (int32_t j = 0; j < kBlock; ++j) r[n + j] = x[n + j] + 0.5 * sum[j];
    }
    for (; n < to; ++n) {
        double sum = 0.0;
        for (int32_t k = 1; k <= order; ++k) sum += a[k] * (x[n + k] + x[n - k]);
        r[n] = x[n] + 0.5 * sum;
    }
}

// sum_n |h[n] - h[(n + lag) mod count]| (0 < lag < count): how unlike itself
// one lag later a stretch of signal is.
inline double CircularDistanceKernel(const double* h, int32_t count, int32_t lag) {
    double partial[kBlock] = {};
    double sum = 0.0;
    // Two straight runs: n + lag inside the stretch, then wrapped to its start.
    auto run = [&](const double* own, const double* other, int32_t length) {
        int32_t n = 0;
        for (; n + kBlock <= length; n += kBlock)
#pragma GCC unroll 8
            for (int32_t j = 0; j < kBlock; ++j) partial[j] += std::fabs(own[n + j] - other[n + j]);
        for (; n < length; ++n) sum += std::fabs(own[n] - other[n]);
    };
    run(h, h + lag, count - lag);
    run(h + count - lag, h, lag);
    for (int32_t j = 0; j < kBlock; ++j) sum += partial[j];
    return sum;
}

}  // namespace

// The AVX2 builds, and whether they may run here: built for AVX2 and the
// processor has it.
void AutocorrelationAvx2(const double* y, int32_t length, int32_t lags, double* c);
void WhitenAvx2(const double* x, int32_t from, int32_t to, const double* a, int32_t order, double* r);
double CircularDistanceAvx2(const double* h, int32_t count, int32_t lag);
bool Avx2Usable();

}  // namespace orve::declick
