#pragma once
// Single-partition overlap-save convolver for a 200-tap head-related response.
#include <cstdint>
#include <vector>

#include "dsp/fft_engine.h"

namespace orve {

// One channel's stream convolved with a 200-tap kernel in blocks of 200
// samples (FFTs of 400 points). Input and output are queued, so callers hand
// over blocks of any length. Changing the kernel only replaces its spectrum:
// the history and queues carry over, so a change of direction is seamless.
class HrirConvolver {
public:
    static constexpr int32_t kBlockSize = 200;
    static constexpr int32_t kFftSize = 2 * kBlockSize;

    HrirConvolver();

    // Takes kBlockSize taps.
    void SetKernel(const double* taps);
    // Queues inCount samples and runs every ready block; then writes exactly
    // outCount samples to out and returns outCount, or writes nothing and
    // returns 0 when fewer are queued.
    int32_t Convolve(const double* in, double* out, int32_t inCount, int32_t outCount);

    int32_t QueuedOutput() const { return outputCount; }

private:
    FftEngine fft;
    const int32_t blockSize = kBlockSize;
    const int32_t fftSize = kFftSize;
    std::vector<double> spectra;   // kernel spectrum, then the product: 2 x fftSize
    std::vector<double> buffers;   // history, then work: 2 x fftSize
    bool primed = false;
    int32_t inputCount = 0;
    int32_t outputCount = 0;
    std::vector<double> inputQueue;    // size() is the capacity
    std::vector<double> outputQueue;
};

// Multiplies two spectra in the packed half-spectrum layout of FftEngine
// (X0.re, X1.re, X1.im, ..., XM.re): the two real end bins alone, the pairs
// between them as complex numbers.
void MultiplyPackedSpectra(const double* a, const double* b, double* product, int32_t points);

}  // namespace orve
