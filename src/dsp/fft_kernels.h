// The passes of the fast real transform, written once over a vector type.
// Included by each simd_*.cpp after it has defined, for its own instruction
// set, the type V holding kW doubles and these operations:
//   Load, Store (unaligned), Set1, Add, Sub, Mul,
//   MulAdd(a, b, c) = a b + c, MulSub(a, b, c) = a b - c, NegMulAdd(a, b, c) = c - a b,
//   Reverse (element order), Mirror(b0, b1) = (b1[0], b0[kW-1], .., b0[1]),
//   Transpose (kW vectors in place),
//   LoadDeinterleave(p, re, im) / StoreInterleave(p, re, im) over 2 kW doubles.
// Everything here has internal linkage: a translation unit built for a wider
// instruction set must not lend its code to the others.
#include "dsp/fft_plan.h"

#define ORVE_UNROLL _Pragma("GCC unroll 16")
// The butterflies must melt into the passes so their vectors stay in registers.
#define ORVE_INLINE inline __attribute__((always_inline))

namespace orve::simd {
namespace {

using fft::Pass;
using fft::Plan;

// x := x w for complex x = (r, i) and w = (wr, wi).
ORVE_INLINE void Rotate(V& r, V& i, V wr, V wi) {
    const V t = MulSub(r, wr, Mul(i, wi));
    i = MulAdd(r, wi, Mul(i, wr));
    r = t;
}

// In-place forward DFTs X[m] = sum x[b] e^(-2 pi i b m / R) of R vectors.
template <int R>
ORVE_INLINE void Dft(V* r, V* i);

template <>
ORVE_INLINE void Dft<2>(V* r, V* i) {
    const V tr = r[1], ti = i[1];
    r[1] = Sub(r[0], tr);
    i[1] = Sub(i[0], ti);
    r[0] = Add(r[0], tr);
    i[0] = Add(i[0], ti);
}

template <>
ORVE_INLINE void Dft<3>(V* r, V* i) {
    const V sin60 = Set1(0.8660254037844387), half3 = Set1(1.5);
    const V tr = Add(r[1], r[2]), ti = Add(i[1], i[2]);
    const V dr = Mul(sin60, Sub(r[1], r[2])), di = Mul(sin60, Sub(i[1], i[2]));
    r[0] = Add(r[0], tr);
    i[0] = Add(i[0], ti);
    const V mr = NegMulAdd(half3, tr, r[0]), mi = NegMulAdd(half3, ti, i[0]);
    r[1] = Add(mr, di);
    i[1] = Sub(mi, dr);
    r[2] = Sub(mr, di);
    i[2] = Add(mi, dr);
}

template <>
ORVE_INLINE void Dft<4>(V* r, V* i) {
    const V ar = Add(r[0], r[2]), ai = Add(i[0], i[2]);
    const V br = Sub(r[0], r[2]), bi = Sub(i[0], i[2]);
    const V cr = Add(r[1], r[3]), ci = Add(i[1], i[3]);
    const V dr = Sub(r[1], r[3]), di = Sub(i[1], i[3]);
    r[0] = Add(ar, cr);
    i[0] = Add(ai, ci);
    r[2] = Sub(ar, cr);
    i[2] = Sub(ai, ci);
    r[1] = Add(br, di);   // b - i d
    i[1] = Sub(bi, dr);
    r[3] = Sub(br, di);   // b + i d
    i[3] = Add(bi, dr);
}

// Winograd's 5-point form (see the reference kernel in fft_engine.cpp).
template <>
ORVE_INLINE void Dft<5>(V* r, V* i) {
    const V c1 = Set1(-1.25), c2 = Set1(0.5590169943749475);
    const V s1 = Set1(0.9510565162951535), s2 = Set1(1.538841768587627), s3 = Set1(0.3632712640026803);
    const V t1r = Add(r[1], r[4]), t1i = Add(i[1], i[4]);
    const V t2r = Add(r[2], r[3]), t2i = Add(i[2], i[3]);
    const V t3r = Sub(r[1], r[4]), t3i = Sub(i[1], i[4]);
    const V t4r = Sub(r[3], r[2]), t4i = Sub(i[3], i[2]);
    const V t5r = Add(t1r, t2r), t5i = Add(t1i, t2i);
    r[0] = Add(r[0], t5r);
    i[0] = Add(i[0], t5i);
    const V m1r = MulAdd(c1, t5r, r[0]), m1i = MulAdd(c1, t5i, i[0]);
    const V m2r = Mul(c2, Sub(t1r, t2r)), m2i = Mul(c2, Sub(t1i, t2i));
    const V r1r = Add(m1r, m2r), r1i = Add(m1i, m2i);
    const V r2r = Sub(m1r, m2r), r2i = Sub(m1i, m2i);
    const V br = Mul(s1, Add(t3r, t4r)), bi = Mul(s1, Add(t3i, t4i));
    const V e1r = NegMulAdd(s2, t4r, br), e1i = NegMulAdd(s2, t4i, bi);
    const V e2r = NegMulAdd(s3, t3r, br), e2i = NegMulAdd(s3, t3i, bi);
    r[1] = Add(r1r, e1i);
    i[1] = Sub(r1i, e1r);
    r[4] = Sub(r1r, e1i);
    i[4] = Add(r1i, e1r);
    r[2] = Add(r2r, e2i);
    i[2] = Sub(r2i, e2r);
    r[3] = Sub(r2r, e2i);
    i[3] = Add(r2i, e2r);
}

// Pairs (j, 7 - j) against cos and sin of 2 pi j m / 7.
template <>
ORVE_INLINE void Dft<7>(V* r, V* i) {
    const double c[3] = {0.6234898018587336, -0.2225209339563144, -0.9009688679024191};
    const double s[3] = {0.7818314824680298, 0.9749279121818236, 0.4338837391175581};
    V sr[3], si[3], dr[3], di[3];
    ORVE_UNROLL
    for (int j = 0; j < 3; ++j) {
        sr[j] = Add(r[j + 1], r[6 - j]);
        si[j] = Add(i[j + 1], i[6 - j]);
        dr[j] = Sub(r[j + 1], r[6 - j]);
        di[j] = Sub(i[j + 1], i[6 - j]);
    }
    const V x0r = r[0], x0i = i[0];
    r[0] = Add(x0r, Add(sr[0], Add(sr[1], sr[2])));
    i[0] = Add(x0i, Add(si[0], Add(si[1], si[2])));
    ORVE_UNROLL
    for (int m = 1; m <= 3; ++m) {
        // a = x0 + sum_j s_j cos(2 pi j m / 7), b = sum_j d_j sin(2 pi j m / 7)
        // with the sine's sign folded in for (j m) mod 7 above 3.
        V ar = x0r, ai = x0i, br = Set1(0.0), bi = Set1(0.0);
        ORVE_UNROLL
        for (int j = 1; j <= 3; ++j) {
            const int k = (j * m) % 7;
            const double cs = c[(k <= 3 ? k : 7 - k) - 1];
            const double sn = k <= 3 ? s[k - 1] : -s[7 - k - 1];
            ar = MulAdd(Set1(cs), sr[j - 1], ar);
            ai = MulAdd(Set1(cs), si[j - 1], ai);
            br = MulAdd(Set1(sn), dr[j - 1], br);
            bi = MulAdd(Set1(sn), di[j - 1], bi);
        }
        r[m] = Add(ar, bi);   // X[m] = a - i b, X[7 - m] = a + i b
        i[m] = Sub(ai, br);
        r[7 - m] = Sub(ar, bi);
        i[7 - m] = Add(ai, br);
    }
}

// Two 4-point DFTs over the even and odd elements, the odd ones turned by
// e^(-2 pi i k / 8), then 2-point butterflies.
template <>
ORVE_INLINE void Dft<8>(V* r, V* i) {
    V er[4] = {r[0], r[2], r[4], r[6]}, ei[4] = {i[0], i[2], i[4], i[6]};
    V orr[4] = {r[1], r[3], r[5], r[7]}, oi[4] = {i[1], i[3], i[5], i[7]};
    Dft<4>(er, ei);
    Dft<4>(orr, oi);
    const V h = Set1(0.7071067811865476);
    V t = Mul(h, Add(orr[1], oi[1]));   // (1 - i) / sqrt2
    oi[1] = Mul(h, Sub(oi[1], orr[1]));
    orr[1] = t;
    t = oi[2];   // -i
    oi[2] = Sub(Set1(0.0), orr[2]);
    orr[2] = t;
    t = Mul(h, Sub(oi[3], orr[3]));   // -(1 + i) / sqrt2
    oi[3] = Mul(Set1(-0.7071067811865476), Add(orr[3], oi[3]));
    orr[3] = t;
    ORVE_UNROLL
    for (int k = 0; k < 4; ++k) {
        r[k] = Add(er[k], orr[k]);
        i[k] = Add(ei[k], oi[k]);
        r[k + 4] = Sub(er[k], orr[k]);
        i[k + 4] = Sub(ei[k], oi[k]);
    }
}

// Point t of a work buffer (blocks of kW re, then kW im); t a multiple of kW
// for the vector forms.
ORVE_INLINE double& ReAt(double* z, int32_t t) { return z[2 * (t - t % kW) + t % kW]; }
ORVE_INLINE double& ImAt(double* z, int32_t t) { return z[2 * (t - t % kW) + kW + t % kW]; }

// First pass (s = 1, n = M), vectors along p. Input: the real signal (even
// samples as re, odd as im) or, for the inverse, a work buffer. The outputs of
// kW consecutive p are transposed so that each p's R values are stored together.
template <int R, bool kFromSignal>
void FirstPass(const double* x, double* y, int32_t M, const double* tw) {
    static_assert(R % kW == 0, "the first pass's radix must be a multiple of the vector width");
    const int32_t m = M / R;
    const double* twr = tw;
    const double* twi = tw + (R - 1) * m;
    for (int32_t p = 0; p < m; p += kW) {
        V ar[R], ai[R];
        ORVE_UNROLL
        for (int k = 0; k < R; ++k) {
            const double* a = x + 2 * (p + k * m);
            if (kFromSignal) {
                LoadDeinterleave(a, ar[k], ai[k]);
            } else {
                ar[k] = Load(a);
                ai[k] = Load(a + kW);
            }
        }
        Dft<R>(ar, ai);
        ORVE_UNROLL
        for (int j = 1; j < R; ++j) Rotate(ar[j], ai[j], Load(twr + (j - 1) * m + p), Load(twi + (j - 1) * m + p));
        ORVE_UNROLL
        for (int c = 0; c < R; c += kW) {
            Transpose(ar + c);
            Transpose(ai + c);
            ORVE_UNROLL
            for (int t = 0; t < kW; ++t) {
                double* b = y + 2 * (R * (p + t) + c);
                Store(b, ar[c + t]);
                Store(b + kW, ai[c + t]);
            }
        }
    }
}

// Any later pass (s a multiple of kW), vectors along q. The last pass
// (m = 1) of the inverse writes the signal instead: conjugated back, scaled
// by 1/M and interleaved.
template <int R, bool kToSignal>
void LaterPass(const double* x, double* y, int32_t n, int32_t s, const double* tw, double scale) {
    const int32_t m = n / R;
    const int32_t inStep = 2 * s * m;
    for (int32_t p = 0; p < m; ++p) {
        const double* in = x + 2 * s * p;
        double* out = y + 2 * s * R * p;
        const double* w = tw + 2 * (R - 1) * p;
        for (int32_t q = 0; q < s; q += kW) {
            V ar[R], ai[R];
            ORVE_UNROLL
            for (int k = 0; k < R; ++k) {
                ar[k] = Load(in + 2 * q + k * inStep);
                ai[k] = Load(in + 2 * q + k * inStep + kW);
            }
            Dft<R>(ar, ai);
            if (p > 0) {
                ORVE_UNROLL
                for (int j = 1; j < R; ++j) Rotate(ar[j], ai[j], Set1(w[2 * j - 2]), Set1(w[2 * j - 1]));
            }
            ORVE_UNROLL
            for (int j = 0; j < R; ++j) {
                double* b = out + 2 * (s * j + q);
                if (kToSignal) {
                    StoreInterleave(b, Mul(ar[j], Set1(scale)), Mul(ai[j], Set1(-scale)));
                } else {
                    Store(b, ar[j]);
                    Store(b + kW, ai[j]);
                }
            }
        }
    }
}

template <bool kToSignal>
void RunLaterPass(const Pass& pass, const double* x, double* y, double scale) {
    switch (pass.radix) {
        case 2: LaterPass<2, kToSignal>(x, y, pass.n, pass.s, pass.twiddles, scale); break;
        case 3: LaterPass<3, kToSignal>(x, y, pass.n, pass.s, pass.twiddles, scale); break;
        case 4: LaterPass<4, kToSignal>(x, y, pass.n, pass.s, pass.twiddles, scale); break;
        case 5: LaterPass<5, kToSignal>(x, y, pass.n, pass.s, pass.twiddles, scale); break;
        case 7: LaterPass<7, kToSignal>(x, y, pass.n, pass.s, pass.twiddles, scale); break;
        default: LaterPass<8, kToSignal>(x, y, pass.n, pass.s, pass.twiddles, scale); break;
    }
}

template <bool kFromSignal>
void RunFirstPass(const Pass& pass, const double* x, double* y) {
    if (pass.radix == 8) {
        FirstPass<8, kFromSignal>(x, y, pass.n, pass.twiddles);
    } else if (pass.radix == 4) {
        FirstPass<4, kFromSignal>(x, y, pass.n, pass.twiddles);
    } else if constexpr (kW <= 2) {
        FirstPass<2, kFromSignal>(x, y, pass.n, pass.twiddles);
    }
}

// Split of the packed complex spectrum Z (M points) into the half spectrum of
// the real signal: the reference's formula, bins k .. k + kW - 1 against
// M - k .. M - k - kW + 1, which Mirror gathers, reversed, from the blocks at
// M - k - kW and M - k.
void SplitForward(double* z, double* x, int32_t M, const double* co, const double* si) {
    const int32_t N = 2 * M;
    x[0] = z[0] + z[kW];
    x[N - 1] = z[0] - z[kW];
    for (int32_t k = 1; k < kW; ++k) {
        const double a = ReAt(z, k), b = ReAt(z, M - k), c = ImAt(z, k), e = ImAt(z, M - k);
        const double t1 = a - b, t2 = c + e;
        x[2 * k - 1] = (a + b + co[k] * t2 - si[k] * t1) * 0.5;
        x[2 * k] = (c - e - si[k] * t2 - co[k] * t1) * 0.5;
    }
    const V half = Set1(0.5);
    for (int32_t k = kW; k < M; k += kW) {
        const double* low = z + 2 * (M - k - kW);
        const double* high = z + 2 * (M - k);
        const V a = Load(z + 2 * k), c = Load(z + 2 * k + kW);
        const V b = Mirror(Load(low), Load(high)), e = Mirror(Load(low + kW), Load(high + kW));
        const V t1 = Sub(a, b), t2 = Add(c, e), vc = Load(co + k), vs = Load(si + k);
        const V outR = Mul(half, NegMulAdd(vs, t1, MulAdd(vc, t2, Add(a, b))));
        const V outI = Mul(half, NegMulAdd(vc, t1, NegMulAdd(vs, t2, Sub(c, e))));
        StoreInterleave(x + 2 * k - 1, outR, outI);
    }
}

// The inverse's first step: the conjugate of the packed complex spectrum, in
// natural order (the passes sort themselves).
void SplitInverse(const double* x, double* z, int32_t M, const double* co, const double* si) {
    const int32_t N = 2 * M;
    z[0] = (x[0] + x[N - 1]) * 0.5;
    z[kW] = (x[0] - x[N - 1]) * -0.5;
    for (int32_t k = 1; k < kW; ++k) {
        const double xr = x[2 * k - 1], xi = x[2 * k];
        const double yr = x[2 * (M - k) - 1], yi = x[2 * (M - k)];
        ReAt(z, k) = ((1 - si[k]) * xr - co[k] * (yi + xi) + (1 + si[k]) * yr) * 0.5;
        ImAt(z, k) = (co[k] * (xr - yr) + (1 - si[k]) * xi - (1 + si[k]) * yi) * -0.5;
    }
    const V half = Set1(0.5), minusHalf = Set1(-0.5), one = Set1(1.0);
    for (int32_t k = kW; k < M; k += kW) {
        V xr, xi, yr, yi;
        LoadDeinterleave(x + 2 * k - 1, xr, xi);
        LoadDeinterleave(x + 2 * (M - k - kW + 1) - 1, yr, yi);
        yr = Reverse(yr);
        yi = Reverse(yi);
        const V vc = Load(co + k), vs = Load(si + k);
        const V minus = Sub(one, vs), plus = Add(one, vs);
        Store(z + 2 * k, Mul(half, MulAdd(plus, yr, NegMulAdd(vc, Add(yi, xi), Mul(minus, xr)))));
        Store(z + 2 * k + kW, Mul(minusHalf, NegMulAdd(plus, yi, MulAdd(minus, xi, Mul(vc, Sub(xr, yr))))));
    }
}

void Forward(const Plan& plan, double* x) {
    RunFirstPass<true>(plan.pass[0], x, plan.buffer[0]);
    int cur = 0;
    for (int32_t i = 1; i < plan.passCount; ++i, cur ^= 1)
        RunLaterPass<false>(plan.pass[i], plan.buffer[cur], plan.buffer[cur ^ 1], 1.0);
    SplitForward(plan.buffer[cur], x, plan.points, plan.splitCos, plan.splitSin);
}

void Inverse(const Plan& plan, double* x) {
    const int32_t last = plan.passCount - 1;
    SplitInverse(x, plan.buffer[0], plan.points, plan.splitCos, plan.splitSin);
    RunFirstPass<false>(plan.pass[0], plan.buffer[0], plan.buffer[1]);
    int cur = 1;
    for (int32_t i = 1; i < last; ++i, cur ^= 1)
        RunLaterPass<false>(plan.pass[i], plan.buffer[cur], plan.buffer[cur ^ 1], 1.0);
    RunLaterPass<true>(plan.pass[last], plan.buffer[cur], x, 1.0 / plan.points);
}

}  // namespace
}  // namespace orve::simd
