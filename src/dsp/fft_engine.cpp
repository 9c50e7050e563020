#include "dsp/fft_engine.h"

#include <cmath>
#include <cstdlib>

namespace orve {

FftEngine::FftEngine(int32_t pointsIn, int32_t kindIn) : points(pointsIn), kind(kindIn) {
    const int32_t M = kind == 2 ? (points >> 1) : points;
    complexPoints = M;
    if (kind == 2) {
        splitBlock = new double[2 * static_cast<size_t>(M) + 1];
        splitCos = splitBlock;
        splitSin = splitBlock + M;
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
}

FftEngine::~FftEngine() {
    delete[] indexBlock;
    delete[] workBlock;
    delete[] splitBlock;
}

void FftEngine::RunPass(int32_t s, int32_t r, int32_t g) {
    const double omega = 2.0 * M_PI / (static_cast<double>(s) * r);
    const double c = std::cos(omega), d = -std::sin(omega);
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
            const double nRe = tRe * c - tIm * d;
            tIm = tRe * d + tIm * c;
            tRe = nRe;
        }
        for (int32_t j = 0; j < g; ++j) {
            const int32_t base = q + j * s * r;
            for (int32_t b = 0; b < r; ++b) {
                workRe[b] = re[base + b * s];
                workIm[b] = im[base + b * s];
            }
            if (s > 1 && q > 0) {
                for (int32_t b = 1; b < r; ++b) {
                    const double xr = workRe[b], xi = workIm[b];
                    workRe[b] = xr * twiddleRe[b] - xi * twiddleIm[b];
                    workIm[b] = xr * twiddleIm[b] + xi * twiddleRe[b];
                }
            }
            Butterfly(r);
            for (int32_t b = 0; b < r; ++b) {
                re[base + b * s] = workRe[b];
                im[base + b * s] = workIm[b];
            }
        }
    }
}

void FftEngine::Butterfly(int32_t radix) {
    if (radix <= 1) return;
    GeneralOddButterfly(radix);
}

// Direct r-point DFT of the work vector with cached roots of unity.
void FftEngine::GeneralOddButterfly(int32_t r) {
    if (rootsRadix != r) {
        rootsRe[0] = 1.0;
        rootsIm[0] = 0.0;
        for (int32_t k = 1; k < r; ++k) {
            rootsRe[k] = std::cos(2.0 * M_PI * k / r);
            rootsIm[k] = -std::sin(2.0 * M_PI * k / r);
        }
        rootsRadix = r;
    }
    double outRe[kMaxRadix], outIm[kMaxRadix];
    for (int32_t m = 0; m < r; ++m) {
        double sr = 0.0, si = 0.0;
        for (int32_t b = 0; b < r; ++b) {
            const int32_t k = (b * m) % r;
            sr += workRe[b] * rootsRe[k] - workIm[b] * rootsIm[k];
            si += workRe[b] * rootsIm[k] + workIm[b] * rootsRe[k];
        }
        outRe[m] = sr;
        outIm[m] = si;
    }
    for (int32_t m = 0; m < r; ++m) {
        workRe[m] = outRe[m];
        workIm[m] = outIm[m];
    }
}

void FftEngine::ForwardReal(double* x) {
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

void FftEngine::InverseReal(double* x) {
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
