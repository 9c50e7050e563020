#include "dsp/fft_engine.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "dsp/simd.h"

namespace orve {

FftEngine::FftEngine(int32_t pointsIn, FftKind kindIn, InstructionSet wanted) : points(pointsIn), kind(kindIn) {
    const int32_t M = kind == FftKind::Real ? (points >> 1) : points;
    complexPoints = M;
    if (kind == FftKind::Real) {
        // On a 64-byte boundary for the fast path's vector loads.
        splitBlock = new double[2 * static_cast<size_t>(M) + 8];
        splitCos = splitBlock + (8 - reinterpret_cast<uintptr_t>(splitBlock) / sizeof(double) % 8) % 8;
        splitSin = splitCos + M;
        for (int32_t k = 0; k < M; ++k) {
            splitCos[k] = std::cos(k * M_PI / M);
            splitSin[k] = std::sin(k * M_PI / M);
        }
    }
    indexBlock = new int32_t[2 * static_cast<size_t>(M) + 1];
    scatterIndex = indexBlock;
    gatherIndex = indexBlock + M;
    workBlock = new double[2 * static_cast<size_t>(M) + 1];
    re = workBlock;
    im = workBlock + M;

    // Large radices are taken out first so typical lengths need few passes;
    // the list is then reversed so a leftover odd factor runs as pass 1.
    int32_t found[kMaxFactors] = {};
    int32_t count = 0;
    if (M < 5) {
        found[count++] = M;
    } else {
        static const int32_t radices[] = {16, 10, 9, 8, 7, 5, 4, 3, 2};
        int32_t rest = M;
        for (int32_t r : radices) {
            while (rest > 1 && rest % r == 0 && count < kMaxFactors - 1) {
                found[count++] = r;
                rest /= r;
            }
            if (rest == 1) break;
        }
        if (rest > 1 && count < kMaxFactors - 1) found[count++] = rest;
    }
    factorCount = count;
    for (int32_t i = 1; i <= count; ++i) factor[i] = found[count - i];
    if (factor[1] > kMaxRadix) std::exit(1);

    stride[1] = 1;
    groups[0] = M;
    groups[1] = M / factor[1];
    for (int32_t i = 2; i <= count; ++i) {
        stride[i] = stride[i - 1] * factor[i - 1];
        groups[i] = groups[i - 1] / factor[i];
    }

    // Mixed-radix digit reversal: p = d1 + f1*d2 + f1*f2*d3 + ..., source
    // s = sum dj * groups[j], counted incrementally digit by digit.
    int32_t digits[kMaxFactors] = {};
    int32_t s = 0;
    for (int32_t p = 0; p < M; ++p) {
        gatherIndex[p] = s;
        scatterIndex[s] = p;
        for (int32_t j = 1; j <= count; ++j) {
            s += groups[j];
            if (++digits[j] < factor[j]) break;
            s -= groups[j] * factor[j];
            digits[j] = 0;
        }
    }

    // The widest kernels, up to the ones asked for, whose vector width suits
    // the length (M = 200 cannot fill the first pass four at a time, but two).
    if (kind != FftKind::Real) return;
    for (InstructionSet set : {InstructionSet::kAvx2Fma, InstructionSet::kSse2, InstructionSet::kPortable}) {
        const simd::Kernels* candidate = set <= wanted ? simd::KernelsFor(set) : nullptr;
        if (candidate && BuildFastPlan(candidate->width)) {
            kernels = candidate;
            instructions = set;
            break;
        }
    }
}

FftEngine::~FftEngine() {
    delete[] indexBlock;
    delete[] workBlock;
    delete[] splitBlock;
    delete[] fastBlock;
}

// Radices of the fast passes for kernels of vector width W, or none when M
// has a prime factor above 7 or does not suit the width. The first pass runs
// along p and stores its outputs transposed, so its radix and M / radix must
// both be multiples of W; it is the largest of 8, 4, 2 that allows it. Odd
// radices follow, then the remaining twos as 8s and 4s: fewer passes mean
// fewer sweeps through memory, and two 4s replace an 8 and a 2.
static int32_t FastRadices(int32_t M, int32_t W, int32_t* radix) {
    int32_t twos = 0, rest = M;
    while (rest > 0 && rest % 2 == 0) {
        rest /= 2;
        ++twos;
    }
    int32_t odd[32] = {}, oddCount = 0;
    for (int32_t r : {7, 5, 3})
        while (rest % r == 0) {
            odd[oddCount++] = r;
            rest /= r;
        }
    if (rest != 1) return 0;
    int32_t first = 0;
    for (int32_t r : {8, 4, 2})
        if (M % r == 0 && r % W == 0 && (M / r) % W == 0 && M > r) {
            first = r;
            break;
        }
    if (first == 0) return 0;
    twos -= first == 8 ? 3 : first == 4 ? 2 : 1;
    int32_t eights = twos / 3, fours = 0, pairs = 0;
    if (twos % 3 == 2) fours = 1;
    if (twos % 3 == 1) {
        if (eights > 0) {
            --eights;
            fours = 2;
        } else {
            pairs = 1;
        }
    }
    if (1 + oddCount + eights + fours + pairs > fft::kMaxPasses) return 0;
    int32_t count = 0;
    radix[count++] = first;
    for (int32_t i = 0; i < oddCount; ++i) radix[count++] = odd[i];
    for (int32_t i = 0; i < eights; ++i) radix[count++] = 8;
    for (int32_t i = 0; i < fours; ++i) radix[count++] = 4;
    if (pairs) radix[count++] = 2;
    return count;
}

bool FftEngine::BuildFastPlan(int32_t width) {
    const int32_t M = complexPoints;
    int32_t radix[fft::kMaxPasses] = {};
    const int32_t count = FastRadices(M, width, radix);
    if (count < 2) return false;
    // One table entry per (p, j), j = 1..R-1, re and im, per pass.
    size_t twiddleCount = 0;
    for (int32_t i = 0, n = M; i < count; n /= radix[i], ++i)
        twiddleCount += 2 * static_cast<size_t>(radix[i] - 1) * (n / radix[i]);
    // Two work buffers and the tables, each starting on a 64-byte boundary so
    // that no vector load straddles two cache lines. The second buffer starts
    // half a page and a line (2112 bytes) past the end of the first: at the
    // power-of-two lengths a pass's streams are a multiple of 4 KiB apart and
    // share cache sets, and those of the two buffers should not add up.
    const size_t line = 8, buffer = 2 * static_cast<size_t>(M) + 264;
    fastBlock = new double[2 * buffer + twiddleCount + line];
    double* base = fastBlock + (line - reinterpret_cast<uintptr_t>(fastBlock) / sizeof(double) % line) % line;
    plan.points = M;
    plan.passCount = count;
    plan.buffer[0] = base;
    plan.buffer[1] = base + buffer;
    plan.splitCos = splitCos;
    plan.splitSin = splitSin;
    double* table = base + 2 * buffer;
    for (int32_t i = 0, n = M, s = 1; i < count; s *= radix[i], n /= radix[i], ++i) {
        const int32_t R = radix[i], m = n / R;
        plan.pass[i] = fft::Pass{R, n, s, table};
        for (int32_t p = 0; p < m; ++p)
            for (int32_t j = 1; j < R; ++j) {
                // w_n^(j p) from the exact integer angle j p mod n.
                const double angle = 2.0 * M_PI * static_cast<double>((static_cast<int64_t>(j) * p) % n) / n;
                const double c = std::cos(angle), sn = -std::sin(angle);
                if (i == 0) {
                    table[(j - 1) * m + p] = c;
                    table[(R - 1 + j - 1) * m + p] = sn;
                } else {
                    table[2 * ((R - 1) * p + j - 1)] = c;
                    table[2 * ((R - 1) * p + j - 1) + 1] = sn;
                }
            }
        table += 2 * (R - 1) * m;
    }
    return true;
}

// ---- Butterflies ------------------------------------------------------------
// Each kernel replaces the vector x (real parts xr, imaginary parts xi, element b
// at b * step) by its forward DFT X[m] = sum x[b] e^(-2 pi i bm / r), in natural
// order. The composite radices (8, 9, 10, 16) split once more inside the kernel,
// Cooley-Tukey style, with their own fixed twiddles; the step argument lets them
// run the smaller kernels over interleaved sub-vectors.
namespace {

constexpr double kSin60 = 0.8660254037844387;
constexpr double kSqrtHalf = 0.7071067811865476;

// x := x * (c + i s).
inline void Rotate(double& xr, double& xi, double c, double s) {
    const double t = xr * c - xi * s;
    xi = xr * s + xi * c;
    xr = t;
}

// Calls f(0), f(1), .., f(Count - 1) as straight-line code. The butterflies'
// vectors then live in registers: a counted loop over them would keep them in
// memory, and compilers do not reliably unroll loops of 8 to 16 steps.
template <typename F, int... Index>
inline void UnrolledSequence(F&& f, std::integer_sequence<int, Index...>) {
    (f(Index), ...);
}
template <int Count, typename F>
inline void Unrolled(F&& f) {
    UnrolledSequence(f, std::make_integer_sequence<int, Count>{});
}

inline void Dft2(double* xr, double* xi, int step) {
    const double tr = xr[step], ti = xi[step];
    xr[step] = xr[0] - tr;
    xi[step] = xi[0] - ti;
    xr[0] += tr;
    xi[0] += ti;
}

// X0 = x0 + t; X1,2 = x0 - t/2 -/+ i sin60 (x1 - x2), with t = x1 + x2.
inline void Dft3(double* xr, double* xi, int step) {
    const double tr = xr[step] + xr[2 * step], ti = xi[step] + xi[2 * step];
    const double dr = kSin60 * (xr[step] - xr[2 * step]), di = kSin60 * (xi[step] - xi[2 * step]);
    xr[0] += tr;
    xi[0] += ti;
    const double mr = xr[0] - 1.5 * tr, mi = xi[0] - 1.5 * ti;
    xr[step] = mr + di;
    xi[step] = mi - dr;
    xr[2 * step] = mr - di;
    xi[2 * step] = mi + dr;
}

inline void Dft4(double* xr, double* xi, int step) {
    const double ar = xr[0] + xr[2 * step], ai = xi[0] + xi[2 * step];
    const double br = xr[0] - xr[2 * step], bi = xi[0] - xi[2 * step];
    const double cr = xr[step] + xr[3 * step], ci = xi[step] + xi[3 * step];
    const double dr = xr[step] - xr[3 * step], di = xi[step] - xi[3 * step];
    xr[0] = ar + cr;
    xi[0] = ai + ci;
    xr[2 * step] = ar - cr;
    xi[2 * step] = ai - ci;
    xr[step] = br + di;   // b - i d
    xi[step] = bi - dr;
    xr[3 * step] = br - di;   // b + i d
    xi[3 * step] = bi + dr;
}

// Winograd's 5-point form: the real parts need (cos72 + cos144)/2 - 1 = -1.25
// and (cos72 - cos144)/2; the imaginary parts sin72, sin72 + sin144 and
// sin72 - sin144, five multiplications per component in all.
inline void Dft5(double* xr, double* xi, int step) {
    constexpr double c1 = -1.25, c2 = 0.5590169943749475;
    constexpr double s1 = 0.9510565162951535, s2 = 1.538841768587627, s3 = 0.3632712640026803;
    const double t1r = xr[step] + xr[4 * step], t1i = xi[step] + xi[4 * step];
    const double t2r = xr[2 * step] + xr[3 * step], t2i = xi[2 * step] + xi[3 * step];
    const double t3r = xr[step] - xr[4 * step], t3i = xi[step] - xi[4 * step];
    const double t4r = xr[3 * step] - xr[2 * step], t4i = xi[3 * step] - xi[2 * step];
    const double t5r = t1r + t2r, t5i = t1i + t2i;
    xr[0] += t5r;
    xi[0] += t5i;
    const double m1r = xr[0] + c1 * t5r, m1i = xi[0] + c1 * t5i;
    const double m2r = c2 * (t1r - t2r), m2i = c2 * (t1i - t2i);
    const double r1r = m1r + m2r, r1i = m1i + m2i;   // real-cosine part of X1, X4
    const double r2r = m1r - m2r, r2i = m1i - m2i;   // of X2, X3
    const double br = s1 * (t3r + t4r), bi = s1 * (t3i + t4i);
    const double e1r = br - s2 * t4r, e1i = bi - s2 * t4i;   // sin72 d1 + sin144 d2
    const double e2r = br - s3 * t3r, e2i = bi - s3 * t3i;   // sin144 d1 - sin72 d2
    xr[step] = r1r + e1i;   // r1 - i e1
    xi[step] = r1i - e1r;
    xr[4 * step] = r1r - e1i;
    xi[4 * step] = r1i + e1r;
    xr[2 * step] = r2r + e2i;
    xi[2 * step] = r2i - e2r;
    xr[3 * step] = r2r - e2i;
    xi[3 * step] = r2i + e2r;
}

// Symmetric 7-point form: sums and differences of the pairs (1,6), (2,5),
// (3,4) against cos and sin of 2 pi k / 7.
inline void Dft7(double* xr, double* xi, int step) {
    constexpr double c1 = 0.6234898018587336, c2 = -0.2225209339563144, c3 = -0.9009688679024191;
    constexpr double s1 = 0.7818314824680298, s2 = 0.9749279121818236, s3 = 0.4338837391175581;
    double sr[4], si[4], dr[4], di[4];
    for (int j = 1; j <= 3; ++j) {
        sr[j] = xr[j * step] + xr[(7 - j) * step];
        si[j] = xi[j * step] + xi[(7 - j) * step];
        dr[j] = xr[j * step] - xr[(7 - j) * step];
        di[j] = xi[j * step] - xi[(7 - j) * step];
    }
    const double x0r = xr[0], x0i = xi[0];
    // Output m takes cos/sin of j*m mod 7 for pair j; sin changes sign past 3.
    const double a1r = x0r + c1 * sr[1] + c2 * sr[2] + c3 * sr[3];
    const double a1i = x0i + c1 * si[1] + c2 * si[2] + c3 * si[3];
    const double a2r = x0r + c2 * sr[1] + c3 * sr[2] + c1 * sr[3];
    const double a2i = x0i + c2 * si[1] + c3 * si[2] + c1 * si[3];
    const double a3r = x0r + c3 * sr[1] + c1 * sr[2] + c2 * sr[3];
    const double a3i = x0i + c3 * si[1] + c1 * si[2] + c2 * si[3];
    const double b1r = s1 * dr[1] + s2 * dr[2] + s3 * dr[3];
    const double b1i = s1 * di[1] + s2 * di[2] + s3 * di[3];
    const double b2r = s2 * dr[1] - s3 * dr[2] - s1 * dr[3];
    const double b2i = s2 * di[1] - s3 * di[2] - s1 * di[3];
    const double b3r = s3 * dr[1] - s1 * dr[2] + s2 * dr[3];
    const double b3i = s3 * di[1] - s1 * di[2] + s2 * di[3];
    xr[0] = x0r + sr[1] + sr[2] + sr[3];
    xi[0] = x0i + si[1] + si[2] + si[3];
    xr[step] = a1r + b1i;   // X[m] = a - i b, X[7-m] = a + i b
    xi[step] = a1i - b1r;
    xr[6 * step] = a1r - b1i;
    xi[6 * step] = a1i + b1r;
    xr[2 * step] = a2r + b2i;
    xi[2 * step] = a2i - b2r;
    xr[5 * step] = a2r - b2i;
    xi[5 * step] = a2i + b2r;
    xr[3 * step] = a3r + b3i;
    xi[3 * step] = a3i - b3r;
    xr[4 * step] = a3r - b3i;
    xi[4 * step] = a3i + b3r;
}

// Radix 8 = two 4-point DFTs over the even and odd elements, the odd ones
// turned by e^(-2 pi i k / 8), then 2-point butterflies.
inline void Dft8(double* xr, double* xi, int step) {
    Dft4(xr, xi, 2 * step);
    Dft4(xr + step, xi + step, 2 * step);
    double er[4], ei[4], or_[4], oi[4];
    for (int k = 0; k < 4; ++k) {
        er[k] = xr[2 * k * step];
        ei[k] = xi[2 * k * step];
        or_[k] = xr[(2 * k + 1) * step];
        oi[k] = xi[(2 * k + 1) * step];
    }
    // w^1 = (1 - i)/sqrt2, w^2 = -i, w^3 = -(1 + i)/sqrt2.
    double t = kSqrtHalf * (or_[1] + oi[1]);
    oi[1] = kSqrtHalf * (oi[1] - or_[1]);
    or_[1] = t;
    t = oi[2];
    oi[2] = -or_[2];
    or_[2] = t;
    t = kSqrtHalf * (oi[3] - or_[3]);
    oi[3] = -kSqrtHalf * (or_[3] + oi[3]);
    or_[3] = t;
    for (int k = 0; k < 4; ++k) {
        xr[k * step] = er[k] + or_[k];
        xi[k * step] = ei[k] + oi[k];
        xr[(k + 4) * step] = er[k] - or_[k];
        xi[(k + 4) * step] = ei[k] - oi[k];
    }
}

// r = a * b points as b interleaved a-point DFTs (input n = b * n1 + n2),
// twiddles w_r^(n2 * k1) from a fixed table, then a b-point DFT for each k1;
// the result lands transposed (k1 * b + k2) and is put back in natural order
// (k1 + a * k2).
template <int A, int B, void (*DftA)(double*, double*, int), void (*DftB)(double*, double*, int)>
inline void DftComposite(double* xr, double* xi, int step, const double (*w)[2]) {
    constexpr int R = A * B;
    double yr[R], yi[R];
    Unrolled<R>([&](int n) {
        yr[n] = xr[n * step];
        yi[n] = xi[n * step];
    });
    Unrolled<B>([&](int n2) { DftA(yr + n2, yi + n2, B); });
    Unrolled<R>([&](int p) {
        const int k1 = p / B, n2 = p % B;
        if (k1 > 0 && n2 > 0) Rotate(yr[p], yi[p], w[n2 * k1][0], w[n2 * k1][1]);
    });
    Unrolled<A>([&](int k1) { DftB(yr + k1 * B, yi + k1 * B, 1); });
    Unrolled<R>([&](int p) {
        const int k1 = p / B, k2 = p % B;
        xr[(k1 + A * k2) * step] = yr[p];
        xi[(k1 + A * k2) * step] = yi[p];
    });
}

// e^(-2 pi i k / r) for the exponents the composites use.
constexpr double kRoots9[5][2] = {{1.0, 0.0},
                                  {0.766044443118978, -0.6427876096865394},
                                  {0.17364817766693036, -0.984807753012208},
                                  {-0.5, -kSin60},
                                  {-0.9396926207859083, -0.3420201433256688}};
constexpr double kRoots10[5][2] = {{1.0, 0.0},
                                   {0.8090169943749475, -0.5877852522924731},
                                   {0.30901699437494745, -0.9510565162951535},
                                   {-0.30901699437494745, -0.9510565162951535},
                                   {-0.8090169943749475, -0.5877852522924731}};
constexpr double kRoots16[10][2] = {{1.0, 0.0},
                                    {0.9238795325112867, -0.3826834323650898},
                                    {kSqrtHalf, -kSqrtHalf},
                                    {0.3826834323650898, -0.9238795325112867},
                                    {0.0, -1.0},
                                    {-0.3826834323650898, -0.9238795325112867},
                                    {-kSqrtHalf, -kSqrtHalf},
                                    {-0.9238795325112867, -0.3826834323650898},
                                    {-1.0, 0.0},
                                    {-0.9238795325112867, 0.3826834323650898}};

inline void Dft9(double* xr, double* xi, int step) { DftComposite<3, 3, Dft3, Dft3>(xr, xi, step, kRoots9); }
inline void Dft10(double* xr, double* xi, int step) { DftComposite<5, 2, Dft5, Dft2>(xr, xi, step, kRoots10); }
inline void Dft16(double* xr, double* xi, int step) { DftComposite<4, 4, Dft4, Dft4>(xr, xi, step, kRoots16); }

// One pass of a dedicated radix R for offset q: each group's R points are
// loaded, turned by the offset's twiddles (none at q = 0), transformed and
// stored back. R is a compile-time constant so the vector lives in registers.
template <int R, void (*Dft)(double*, double*, int)>
void FixedRadixGroups(double* re, double* im, int32_t s, int32_t g, int32_t q, const double* twRe,
                      const double* twIm) {
    const bool turn = s > 1 && q > 0;
    for (int32_t j = 0; j < g; ++j) {
        double* zr = re + q + j * s * R;
        double* zi = im + q + j * s * R;
        double xr[R], xi[R];
        Unrolled<R>([&](int b) {
            xr[b] = zr[b * s];
            xi[b] = zi[b * s];
            if (turn && b > 0) Rotate(xr[b], xi[b], twRe[b], twIm[b]);
        });
        Dft(xr, xi, 1);
        Unrolled<R>([&](int b) {
            zr[b * s] = xr[b];
            zi[b * s] = xi[b];
        });
    }
}

}  // namespace

void FftEngine::RunPass(int32_t s, int32_t r, int32_t g) {
    if (r <= 1) return;
    // The running twiddle t advances by e^(-i omega) once per offset. It is
    // stepped as t += t * (cos omega - 1 - i sin omega) with cos omega - 1 taken
    // as -2 sin^2(omega / 2): for the small angles of the late passes cos omega
    // rounds to nearly 1 and would lose the step's low bits, letting the
    // error grow with the number of offsets.
    const double omega = 2.0 * M_PI / (static_cast<double>(s) * r);
    const double half = std::sin(0.5 * omega);
    const double stepRe = -2.0 * half * half, stepIm = -std::sin(omega);
    double tRe = 1.0, tIm = 0.0;
    for (int32_t q = 0; q < s; ++q) {
        if (s > 1) {
            twiddleRe[0] = 1.0;
            twiddleIm[0] = 0.0;
            twiddleRe[1] = tRe;
            twiddleIm[1] = tIm;
            for (int32_t b = 2; b < r; ++b) {
                twiddleRe[b] = tRe * twiddleRe[b - 1] - tIm * twiddleIm[b - 1];
                twiddleIm[b] = tRe * twiddleIm[b - 1] + tIm * twiddleRe[b - 1];
            }
            const double dRe = tRe * stepRe - tIm * stepIm;
            tIm += tRe * stepIm + tIm * stepRe;
            tRe += dRe;
        }
        switch (r) {
            case 2: FixedRadixGroups<2, Dft2>(re, im, s, g, q, twiddleRe, twiddleIm); break;
            case 3: FixedRadixGroups<3, Dft3>(re, im, s, g, q, twiddleRe, twiddleIm); break;
            case 4: FixedRadixGroups<4, Dft4>(re, im, s, g, q, twiddleRe, twiddleIm); break;
            case 5: FixedRadixGroups<5, Dft5>(re, im, s, g, q, twiddleRe, twiddleIm); break;
            case 7: FixedRadixGroups<7, Dft7>(re, im, s, g, q, twiddleRe, twiddleIm); break;
            case 8: FixedRadixGroups<8, Dft8>(re, im, s, g, q, twiddleRe, twiddleIm); break;
            case 9: FixedRadixGroups<9, Dft9>(re, im, s, g, q, twiddleRe, twiddleIm); break;
            case 10: FixedRadixGroups<10, Dft10>(re, im, s, g, q, twiddleRe, twiddleIm); break;
            case 16: FixedRadixGroups<16, Dft16>(re, im, s, g, q, twiddleRe, twiddleIm); break;
            default: GeneralOddGroups(s, r, g, q); break;
        }
    }
}

void FftEngine::GeneralOddGroups(int32_t s, int32_t r, int32_t g, int32_t q) {
    for (int32_t j = 0; j < g; ++j) {
        const int32_t base = q + j * s * r;
        for (int32_t b = 0; b < r; ++b) {
            workRe[b] = re[base + b * s];
            workIm[b] = im[base + b * s];
        }
        if (s > 1 && q > 0)
            for (int32_t b = 1; b < r; ++b) Rotate(workRe[b], workIm[b], twiddleRe[b], twiddleIm[b]);
        GeneralOddButterfly(r);
        for (int32_t b = 0; b < r; ++b) {
            re[base + b * s] = workRe[b];
            im[base + b * s] = workIm[b];
        }
    }
}

// Any odd r: with roots w^k = C_k - i S_k and, for j = 1..h-1, the pair sums
// u_j = x_j + x_(r-j) and differences v_j = x_j - x_(r-j),
//   X_m = x_0 + sum u_j C_jm - i sum v_j S_jm,  X_(r-m) = ... + i ...,
// so each output pair costs h - 1 multiply-adds of each kind instead of r.
void FftEngine::GeneralOddButterfly(int32_t r) {
    if (rootsRadix != r) {
        rootsRe[0] = 1.0;
        rootsIm[0] = 0.0;
        rootsRe[1] = std::cos(2.0 * M_PI / r);
        rootsIm[1] = -std::sin(2.0 * M_PI / r);
        for (int32_t k = 2; k < r; ++k) {
            rootsRe[k] = rootsRe[1] * rootsRe[k - 1] - rootsIm[1] * rootsIm[k - 1];
            rootsIm[k] = rootsRe[1] * rootsIm[k - 1] + rootsIm[1] * rootsRe[k - 1];
        }
        rootsRadix = r;
    }
    const int32_t h = (r + 1) / 2;
    double sumRe = workRe[0], sumIm = workIm[0];
    for (int32_t j = 1; j < h; ++j) {
        pairSumRe[j] = workRe[j] + workRe[r - j];
        pairSumIm[j] = workIm[j] + workIm[r - j];
        pairDiffRe[j] = workRe[j] - workRe[r - j];
        pairDiffIm[j] = workIm[j] - workIm[r - j];
        sumRe += pairSumRe[j];
        sumIm += pairSumIm[j];
    }
    const double x0Re = workRe[0], x0Im = workIm[0];
    workRe[0] = sumRe;
    workIm[0] = sumIm;
    for (int32_t m = 1; m < h; ++m) {
        // a = x0 + sum u_j C, b = sum v_j (-S); X_m = a + i b, X_(r-m) = a - i b.
        double aRe = x0Re, aIm = x0Im, bRe = 0.0, bIm = 0.0;
        int32_t k = 0;
        for (int32_t j = 1; j < h; ++j) {
            k += m;
            if (k >= r) k -= r;
            aRe += pairSumRe[j] * rootsRe[k];
            aIm += pairSumIm[j] * rootsRe[k];
            bRe += pairDiffRe[j] * rootsIm[k];
            bIm += pairDiffIm[j] * rootsIm[k];
        }
        workRe[m] = aRe - bIm;
        workIm[m] = aIm + bRe;
        workRe[r - m] = aRe + bIm;
        workIm[r - m] = aIm - bRe;
    }
}

void FftEngine::ForwardReal(double* x) {
    if (kernels) {
        kernels->fftForward(plan, x);
    } else {
        ForwardRealReference(x);
    }
}

void FftEngine::InverseReal(double* x) {
    if (kernels) {
        kernels->fftInverse(plan, x);
    } else {
        InverseRealReference(x);
    }
}

void FftEngine::ForwardRealReference(double* x) {
    const int32_t M = complexPoints, N = 2 * M;
    for (int32_t p = 0; p < M; ++p) {
        re[p] = x[2 * gatherIndex[p]];
        im[p] = x[2 * gatherIndex[p] + 1];
    }
    for (int32_t i = 1; i <= factorCount; ++i) RunPass(stride[i], factor[i], groups[i]);
    x[0] = re[0] + im[0];
    x[N - 1] = re[0] - im[0];
    for (int32_t k = 1; k < M; ++k) {
        const double a = re[k], b = re[M - k], c = im[k], e = im[M - k];
        const double t1 = a - b, t2 = c + e, co = splitCos[k], si = splitSin[k];
        x[2 * k - 1] = (a + b + co * t2 - si * t1) * 0.5;
        x[2 * k] = (c - e - si * t2 - co * t1) * 0.5;
    }
}

void FftEngine::InverseRealReference(double* x) {
    const int32_t M = complexPoints, N = 2 * M;
    re[0] = (x[0] + x[N - 1]) * 0.5;
    im[0] = (x[0] - x[N - 1]) * -0.5;
    for (int32_t k = 1; k < M; ++k) {
        const double xr = x[2 * k - 1], xi = x[2 * k];
        const double yr = x[2 * (M - k) - 1], yi = x[2 * (M - k)];
        const double co = splitCos[k], si = splitSin[k];
        const int32_t p = scatterIndex[k];
        re[p] = ((1 - si) * xr - co * (yi + xi) + (1 + si) * yr) * 0.5;
        im[p] = (co * (xr - yr) + (1 - si) * xi - (1 + si) * yi) * -0.5;
    }
    for (int32_t i = 1; i <= factorCount; ++i) RunPass(stride[i], factor[i], groups[i]);
    const double scale = 1.0 / M;
    for (int32_t p = 0; p < M; ++p) {
        x[2 * p] = re[p] * scale;
        x[2 * p + 1] = -im[p] * scale;
    }
}

}  // namespace orve
