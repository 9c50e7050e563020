#include "dsp/convolution_kernel.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orve {

int32_t LevelPartitions(int32_t level, int32_t levels, int32_t length) {
    if (level >= levels) return 0;
    const int32_t B = kLevelBlock[level];
    const int32_t start = kLevelOffset[level];
    if (length <= start) return 0;
    int32_t end = length;
    if (level + 1 < levels) end = std::min(length, kLevelOffset[level + 1]);
    return (end - start + B - 1) / B;
}

int32_t LevelsFor(int32_t length, int32_t most) {
    // A level's block costs a transform pair however few partitions it holds,
    // while every partition costs a multiply-add of its spectrum, which
    // streams through the caches: a level that takes over the rest of a
    // kernel pays only where its partitions save more than its transforms.
    // Costs per stream sample, in partition multiply-adds, measured on x86_64
    // (the transforms of the longest blocks no longer fit the caches).
    constexpr int32_t kTransformCost[kConvolutionLevels] = {10, 12, 17, 19, 34};
    int32_t best = 1;
    int64_t bestCost = -1;
    int64_t transforms = 0;
    for (int32_t levels = 1; levels <= std::clamp(most, 1, kConvolutionLevels); ++levels) {
        transforms += kTransformCost[levels - 1];
        int64_t cost = transforms;
        for (int32_t k = 0; k < levels; ++k) cost += LevelPartitions(k, levels, length);
        if (bestCost < 0 || cost < bestCost) {
            best = levels;
            bestCost = cost;
        }
        if (length <= kLevelOffset[levels - 1]) break;   // later levels would hold nothing
    }
    return best;
}

int32_t LevelNearCapacity(int32_t level) {
    const int32_t B = kLevelBlock[level];
    const int32_t room = kSinglePrecisionOffset - kLevelOffset[level];
    return room <= 0 ? 0 : (room + B - 1) / B;
}

LevelTransforms::LevelTransforms(int32_t levels) {
    for (int32_t k = 0; k < levels; ++k) engines[k] = std::make_unique<FftEngine>(2 * kLevelBlock[k], FftKind::Real);
}

ConvolutionKernel::ConvolutionKernel(int32_t length, int32_t levels) : length(std::max(length, 0)), levels(levels) {
    size_t largest = 0;
    for (int32_t k = 0; k < levels; ++k) {
        counts[k] = LevelPartitions(k, levels, this->length);
        nearCounts[k] = std::min(counts[k], LevelNearCapacity(k));
        const size_t entry = static_cast<size_t>(2) * LevelBins(k);
        nearSpectra[k].assign(entry * nearCounts[k], 0.0);
        farSpectra[k].assign(entry * (counts[k] - nearCounts[k]), 0.0f);
        if (counts[k] > 0) largest = static_cast<size_t>(2) * kLevelBlock[k];
    }
    work.assign(largest, 0.0);
}

void ConvolutionKernel::Load(const double* taps, LevelTransforms& transforms) {
    for (int32_t k = 0; k < levels; ++k) {
        const int32_t B = kLevelBlock[k], bins = LevelBins(k);
        for (int32_t p = 0; p < counts[k]; ++p) {
            const int32_t start = kLevelOffset[k] + p * B;
            const int32_t count = std::min(B, length - start);
            std::fill(work.begin(), work.begin() + 2 * B, 0.0);
            std::memcpy(work.data(), taps + start, sizeof(double) * count);
            transforms.Level(k).ForwardReal(work.data());
            if (p < nearCounts[k]) {
                double* re = nearSpectra[k].data() + static_cast<size_t>(p) * 2 * bins;
                SplitSpectrum(work.data(), B, re, re + bins, bins);
            } else {
                // The spectrum is computed in double and rounded once.
                const double* packed = work.data();
                float* re = farSpectra[k].data() + static_cast<size_t>(p - nearCounts[k]) * 2 * bins;
                float* im = re + bins;
                re[0] = static_cast<float>(packed[0]);
                im[0] = 0.0f;
                for (int32_t i = 1; i < B; ++i) {
                    re[i] = static_cast<float>(packed[2 * i - 1]);
                    im[i] = static_cast<float>(packed[2 * i]);
                }
                re[B] = static_cast<float>(packed[2 * B - 1]);
                im[B] = 0.0f;
                for (int32_t i = B + 1; i < bins; ++i) re[i] = im[i] = 0.0f;
            }
        }
    }
}

void SplitSpectrum(const double* packed, int32_t block, double* re, double* im, int32_t bins) {
    re[0] = packed[0];
    im[0] = 0.0;
    for (int32_t i = 1; i < block; ++i) {
        re[i] = packed[2 * i - 1];
        im[i] = packed[2 * i];
    }
    re[block] = packed[2 * block - 1];
    im[block] = 0.0;
    for (int32_t i = block + 1; i < bins; ++i) re[i] = im[i] = 0.0;
}

void PackSpectrum(const double* re, const double* im, int32_t block, double* packed) {
    packed[0] = re[0];
    for (int32_t i = 1; i < block; ++i) {
        packed[2 * i - 1] = re[i];
        packed[2 * i] = im[i];
    }
    packed[2 * block - 1] = re[block];
}

void MultiplyAddReference(const double* kRe, const double* kIm, const double* xRe, const double* xIm, double* accRe,
                          double* accIm, int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) {
        accRe[i] = accRe[i] + (kRe[i] * xRe[i] - kIm[i] * xIm[i]);
        accIm[i] = accIm[i] + (kRe[i] * xIm[i] + kIm[i] * xRe[i]);
    }
}

void MultiplyAddReference(const float* kRe, const float* kIm, const float* xRe, const float* xIm, double* accRe,
                          double* accIm, int32_t begin, int32_t end) {
    for (int32_t i = begin; i < end; ++i) {
        const double kr = kRe[i], ki = kIm[i], xr = xRe[i], xi = xIm[i];
        accRe[i] = accRe[i] + (kr * xr - ki * xi);
        accIm[i] = accIm[i] + (kr * xi + ki * xr);
    }
}

#if defined(__SSE2__)

namespace {

// Two bins of one complex multiply-add, in the reference's order.
inline void MultiplyAddPair(__m128d kr, __m128d ki, __m128d xr, __m128d xi, double* accRe, double* accIm) {
    const __m128d re = _mm_sub_pd(_mm_mul_pd(kr, xr), _mm_mul_pd(ki, xi));
    const __m128d im = _mm_add_pd(_mm_mul_pd(kr, xi), _mm_mul_pd(ki, xr));
    _mm_storeu_pd(accRe, _mm_add_pd(_mm_loadu_pd(accRe), re));
    _mm_storeu_pd(accIm, _mm_add_pd(_mm_loadu_pd(accIm), im));
}

}  // namespace

void MultiplyAdd(const double* kRe, const double* kIm, const double* xRe, const double* xIm, double* accRe,
                 double* accIm, int32_t begin, int32_t end) {
    // Four complex values per step, as two pairs of 128-bit lanes.
    for (int32_t i = begin; i < end; i += 4) {
        MultiplyAddPair(_mm_loadu_pd(kRe + i), _mm_loadu_pd(kIm + i), _mm_loadu_pd(xRe + i), _mm_loadu_pd(xIm + i),
                        accRe + i, accIm + i);
        MultiplyAddPair(_mm_loadu_pd(kRe + i + 2), _mm_loadu_pd(kIm + i + 2), _mm_loadu_pd(xRe + i + 2),
                        _mm_loadu_pd(xIm + i + 2), accRe + i + 2, accIm + i + 2);
    }
}

void MultiplyAdd(const float* kRe, const float* kIm, const float* xRe, const float* xIm, double* accRe,
                 double* accIm, int32_t begin, int32_t end) {
    // The single-precision spectra are widened and multiplied in double.
    for (int32_t i = begin; i < end; i += 4) {
        const __m128 kr = _mm_loadu_ps(kRe + i), ki = _mm_loadu_ps(kIm + i);
        const __m128 xr = _mm_loadu_ps(xRe + i), xi = _mm_loadu_ps(xIm + i);
        MultiplyAddPair(_mm_cvtps_pd(kr), _mm_cvtps_pd(ki), _mm_cvtps_pd(xr), _mm_cvtps_pd(xi), accRe + i, accIm + i);
        MultiplyAddPair(_mm_cvtps_pd(_mm_movehl_ps(kr, kr)), _mm_cvtps_pd(_mm_movehl_ps(ki, ki)),
                        _mm_cvtps_pd(_mm_movehl_ps(xr, xr)), _mm_cvtps_pd(_mm_movehl_ps(xi, xi)), accRe + i + 2,
                        accIm + i + 2);
    }
}

#else

void MultiplyAdd(const double* kRe, const double* kIm, const double* xRe, const double* xIm, double* accRe,
                 double* accIm, int32_t begin, int32_t end) {
    MultiplyAddReference(kRe, kIm, xRe, xIm, accRe, accIm, begin, end);
}

void MultiplyAdd(const float* kRe, const float* kIm, const float* xRe, const float* xIm, double* accRe,
                 double* accIm, int32_t begin, int32_t end) {
    MultiplyAddReference(kRe, kIm, xRe, xIm, accRe, accIm, begin, end);
}

#endif

}  // namespace orve
