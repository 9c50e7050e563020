#pragma once
// The spectra of a convolution kernel, cut into non-uniform partitions.
//
// A long response is split into levels: the head of the kernel in short
// partitions (they set the latency), later parts in longer ones (each level's
// block costs one FFT pair however many partitions it has, and the partitions
// of a long tail are few when they are long). Level k cuts the kernel from
// kLevelOffset[k] on into partitions of B = kLevelBlock[k] samples, each
// transformed once to the half spectrum of 2B points.
//
// The longest partition is 32768 samples: one transform of twice that is the
// largest piece of work a block can be handed, and the throughput hardly
// gains from longer ones.
//
// Every level starts at least two of its blocks into the kernel. The output of
// a level-k block is then needed only B samples after its input is complete,
// which leaves the convolver a whole block of B samples to spread that work
// over (see StreamConvolver), instead of doing it in the one call that
// completes the block.
//
// Spectra are held as split planes (all real parts, then all imaginary parts)
// padded to a multiple of four bins, so that the multiply-add runs four
// complex values per step. Partitions that start 2^19 samples (11.9 s at
// 44.1 kHz) or more into the kernel are held in single precision: only the
// very largest rooms reach them, their tails lie 10^-7 below the signal in
// any case, and the two largest rooms of ModalReverb would otherwise need
// some 200 MB (twice the kernel for its spectra, twice again for the input
// history) where a 32-bit player has about 2 GB in all.
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/fft_engine.h"

namespace orve {

constexpr int32_t kConvolutionLevels = 5;
constexpr int32_t kLevelBlock[kConvolutionLevels] = {256, 1024, 4096, 16384, 32768};
constexpr int32_t kLevelOffset[kConvolutionLevels] = {0, 2048, 8192, 32768, 65536};
constexpr int32_t kSinglePrecisionOffset = 1 << 19;

// Bins of a level's split planes: B + 1 for the half spectrum, padded to a
// multiple of four.
inline int32_t LevelBins(int32_t level) { return kLevelBlock[level] + 4; }
// Partitions level `level` holds of a kernel of `length` samples when the
// convolver uses `levels` levels (the last one takes the rest).
int32_t LevelPartitions(int32_t level, int32_t levels, int32_t length);
// The number of levels, at most `most`, that convolves a kernel of `length`
// samples for the least work.
int32_t LevelsFor(int32_t length, int32_t most);
// Partitions of level `level` that are held in double precision at most.
int32_t LevelNearCapacity(int32_t level);

// The forward transforms of every level's block length, for building kernels.
class LevelTransforms {
public:
    explicit LevelTransforms(int32_t levels);
    FftEngine& Level(int32_t level) { return *engines[level]; }

private:
    std::unique_ptr<FftEngine> engines[kConvolutionLevels];
};

class ConvolutionKernel {
public:
    // Storage for a kernel of `length` samples over `levels` levels; silent
    // until Load.
    ConvolutionKernel(int32_t length, int32_t levels);
    ConvolutionKernel(const ConvolutionKernel&) = delete;
    ConvolutionKernel& operator=(const ConvolutionKernel&) = delete;

    // Transforms `length` taps (the length given at construction) into the
    // spectra, reusing the storage: nothing is allocated.
    void Load(const double* taps, LevelTransforms& transforms);

    int32_t Length() const { return length; }
    int32_t Levels() const { return levels; }
    int32_t Partitions(int32_t level) const { return counts[level]; }
    int32_t NearPartitions(int32_t level) const { return nearCounts[level]; }
    // Split planes of a partition: re[0..bins), then im[0..bins).
    const double* Near(int32_t level, int32_t p) const {
        return nearSpectra[level].data() + static_cast<size_t>(p) * 2 * LevelBins(level);
    }
    const float* Far(int32_t level, int32_t p) const {
        return farSpectra[level].data() + static_cast<size_t>(p - nearCounts[level]) * 2 * LevelBins(level);
    }

private:
    int32_t length;
    int32_t levels;
    int32_t counts[kConvolutionLevels] = {};
    int32_t nearCounts[kConvolutionLevels] = {};
    std::vector<double> nearSpectra[kConvolutionLevels];
    std::vector<float> farSpectra[kConvolutionLevels];
    std::vector<double> work;
};

// Packed half spectrum of 2B points (X0.re, X1.re, X1.im, ..., XB.re) to split
// planes of `bins` values each (the padding is zeroed), and back.
void SplitSpectrum(const double* packed, int32_t block, double* re, double* im, int32_t bins);
void PackSpectrum(const double* re, const double* im, int32_t block, double* packed);

// acc += k * x over bins [begin, end) of split planes (begin and end multiples
// of four): acc.re += k.re x.re - k.im x.im, acc.im += k.re x.im + k.im x.re,
// in that order for every bin. The SSE2 and AVX2 paths compute exactly what
// the plain reference computes; the reference is the path on other processors.
void MultiplyAdd(const double* kRe, const double* kIm, const double* xRe, const double* xIm, double* accRe,
                 double* accIm, int32_t begin, int32_t end);
void MultiplyAdd(const float* kRe, const float* kIm, const float* xRe, const float* xIm, double* accRe,
                 double* accIm, int32_t begin, int32_t end);
// Both in 256-bit registers, with the same bits; only where
// MultiplyAddAvx2Usable().
void MultiplyAddAvx2(const double* kRe, const double* kIm, const double* xRe, const double* xIm, double* accRe,
                     double* accIm, int32_t begin, int32_t end);
void MultiplyAddAvx2(const float* kRe, const float* kIm, const float* xRe, const float* xIm, double* accRe,
                     double* accIm, int32_t begin, int32_t end);
bool MultiplyAddAvx2Usable();
void MultiplyAddReference(const double* kRe, const double* kIm, const double* xRe, const double* xIm, double* accRe,
                          double* accIm, int32_t begin, int32_t end);
void MultiplyAddReference(const float* kRe, const float* kIm, const float* xRe, const float* xIm, double* accRe,
                          double* accIm, int32_t begin, int32_t end);

}  // namespace orve
