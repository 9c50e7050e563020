#include "dsp/hrir_convolver.h"

#include <algorithm>

namespace orve {

void MultiplyPackedSpectra(const double* a, const double* b, double* product, int32_t points) {
    product[0] = a[0] * b[0];
    product[points - 1] = a[points - 1] * b[points - 1];
    for (int32_t k = 1; k + 1 < points; k += 2) {
        const double re = a[k] * b[k] - a[k + 1] * b[k + 1];
        const double im = a[k + 1] * b[k] + a[k] * b[k + 1];
        product[k] = re;
        product[k + 1] = im;
    }
}

HrirConvolver::HrirConvolver()
    : fft(kFftSize, FftKind::Real),
      spectra(2 * kFftSize, 0.0),
      buffers(2 * kFftSize, 0.0),
      inputQueue(4096, 0.0),
      outputQueue(4096, 0.0) {}

void HrirConvolver::SetKernel(const double* taps) {
    double* kernel = spectra.data();
    std::fill(kernel, kernel + fftSize, 0.0);
    std::copy(taps, taps + blockSize, kernel);
    fft.ForwardReal(kernel);
}

int32_t HrirConvolver::Convolve(const double* in, double* out, int32_t inCount, int32_t outCount) {
    if (inputCount + inCount > static_cast<int32_t>(inputQueue.size())) inputQueue.resize(inputCount + inCount);
    std::copy(in, in + inCount, inputQueue.begin() + inputCount);
    inputCount += inCount;

    if (inputCount >= blockSize) {
        const int32_t needed = blockSize * (inputCount / blockSize) + outputCount;
        if (needed > static_cast<int32_t>(outputQueue.size())) outputQueue.resize(needed);
        double* history = buffers.data();
        double* work = history + fftSize;
        double* product = spectra.data() + fftSize;
        int32_t consumed = 0;
        // A block runs only with at least one further sample queued behind it.
        while (consumed + blockSize < inputCount) {
            std::copy(history + blockSize, history + fftSize, history);
            std::copy(&inputQueue[consumed], &inputQueue[consumed] + blockSize, history + blockSize);
            std::copy(history, history + fftSize, work);
            fft.ForwardReal(work);
            MultiplyPackedSpectra(spectra.data(), work, product, fftSize);
            std::copy(product, product + fftSize, work);
            fft.InverseReal(work);
            // The first half of the inverse is circularly aliased; the second
            // half is the linear convolution for this block. The very first
            // block after a clear is dropped, as in the partitioned convolver.
            if (primed) {
                std::copy(work + blockSize, work + fftSize, &outputQueue[outputCount]);
                outputCount += blockSize;
            } else {
                primed = true;
            }
            consumed += blockSize;
        }
        std::copy(inputQueue.begin() + consumed, inputQueue.begin() + inputCount, inputQueue.begin());
        inputCount -= consumed;
    }

    if (outputCount < outCount) return 0;
    std::copy(outputQueue.begin(), outputQueue.begin() + outCount, out);
    std::copy(outputQueue.begin() + outCount, outputQueue.begin() + outputCount, outputQueue.begin());
    outputCount -= outCount;
    return outCount;
}

}  // namespace orve
