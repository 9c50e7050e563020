#include "effects/equaliser_spatial/partitioned_convolver.h"

#include <algorithm>
#include <cstring>

namespace orve {
namespace {

constexpr int32_t kInitialQueueCapacity = 4096;

// Grows a queue to exactly `count` samples, keeping what it holds.
void GrowQueue(std::vector<double>& queue, int32_t count) {
    if (count > static_cast<int32_t>(queue.size())) queue.resize(static_cast<size_t>(count));
}

// out = addend + a * b over packed half spectra of n points: DC and Nyquist
// are real, each bin k sits at (2k-1, 2k). A null addend means zero.
void MultiplyAddPacked(const double* a, const double* b, const double* addend, double* out, int32_t n) {
    if (addend) {
        out[0] = addend[0] + a[0] * b[0];
        out[n - 1] = addend[n - 1] + a[n - 1] * b[n - 1];
        for (int32_t i = 1; i < n - 1; i += 2) {
            const double ar = a[i], ai = a[i + 1], br = b[i], bi = b[i + 1];
            out[i] = addend[i] + (ar * br - ai * bi);
            out[i + 1] = addend[i + 1] + (ai * br + ar * bi);
        }
        return;
    }
    out[0] = a[0] * b[0];
    out[n - 1] = a[n - 1] * b[n - 1];
    for (int32_t i = 1; i < n - 1; i += 2) {
        const double ar = a[i], ai = a[i + 1], br = b[i], bi = b[i + 1];
        out[i] = ar * br - ai * bi;
        out[i + 1] = ai * br + ar * bi;
    }
}

}  // namespace

PartitionedConvolver::PartitionedConvolver(int32_t blockSize, int32_t kernelLength, const double* kernel)
    : fft(2 * blockSize, 2),
      blockSize(blockSize),
      fftSize(2 * blockSize),
      scratch(static_cast<size_t>(2 * 2 * blockSize), 0.0),
      inputQueue(kInitialQueueCapacity, 0.0),
      outputQueue(kInitialQueueCapacity, 0.0) {
    history = scratch.data();
    work = history + fftSize;
    if (kernelLength > 0 && kernel) SetKernel(kernelLength, kernel);
}

void PartitionedConvolver::SetKernel(int32_t length, const double* samples) {
    if (length <= 0 || !samples) return;
    const int32_t B = blockSize, N = fftSize;
    const int32_t P = length / B + (length % B != 0 ? 1 : 0);
    // A fresh zeroed block: the accumulators hold no trace of the old kernel.
    std::vector<double> fresh(static_cast<size_t>(2) * P * N, 0.0);
    spectra.swap(fresh);
    partitionCount = P;
    kernelSpectra = spectra.data();
    accumulators = kernelSpectra + static_cast<size_t>(P) * N;
    for (int32_t p = 0; p < P; ++p) {
        double* partition = kernelSpectra + static_cast<size_t>(p) * N;
        const int32_t count = std::min(B, length - p * B);
        std::memcpy(partition, samples + static_cast<size_t>(p) * B, sizeof(double) * count);
        fft.ForwardReal(partition);
    }
    primed = false;
}

void PartitionedConvolver::Reset() {
    inputCount = 0;
    outputCount = 0;
    primed = false;
}

void PartitionedConvolver::ProcessBlockAt(const double* block) {
    const int32_t B = blockSize, N = fftSize, P = partitionCount;
    std::memmove(history, history + B, sizeof(double) * B);
    std::memcpy(history + B, block, sizeof(double) * B);
    std::memcpy(work, history, sizeof(double) * N);
    fft.ForwardReal(work);

    if (P > 0) {
        // Shift the chain by one block while adding this block's contribution
        // to every partition: accumulator p then holds the part of the output
        // that is due p blocks from now.
        // The product is added on the fly rather than stored first: one pass
        // over each partition instead of two.
        for (int32_t p = 0; p + 1 < P; ++p) {
            double* acc = accumulators + static_cast<size_t>(p) * N;
            MultiplyAddPacked(kernelSpectra + static_cast<size_t>(p) * N, work, acc + N, acc, N);
        }
        MultiplyAddPacked(kernelSpectra + static_cast<size_t>(P - 1) * N, work, nullptr,
                          accumulators + static_cast<size_t>(P - 1) * N, N);
        std::memcpy(work, accumulators, sizeof(double) * N);
        fft.InverseReal(work);
    } else {
        // No kernel yet: the stream convolves with nothing.
        std::fill(work, work + N, 0.0);
    }

    if (!primed) {
        // The first block after construction, a reset or a kernel change sees
        // a history (or accumulator chain) that does not belong to the
        // current stream and kernel; its output is dropped.
        primed = true;
        return;
    }
    // The first half of the circular result is aliased; the second half is
    // the linear convolution for this block's samples.
    std::memcpy(outputQueue.data() + outputCount, work + B, sizeof(double) * B);
    outputCount += B;
}

int32_t PartitionedConvolver::Convolve(const double* in, double* out, int32_t inCount, int32_t outCount) {
    const int32_t B = blockSize;
    if (inCount > 0) {
        GrowQueue(inputQueue, inputCount + inCount);
        std::memmove(inputQueue.data() + inputCount, in, sizeof(double) * inCount);
        inputCount += inCount;
    }

    if (inputCount >= B) {
        GrowQueue(outputQueue, B * (inputCount / B) + outputCount);
        int32_t consumed = 0;
        // A block runs only with at least one further sample queued behind it.
        while (consumed + B < inputCount) {
            ProcessBlockAt(inputQueue.data() + consumed);
            consumed += B;
        }
        if (consumed > 0) {
            inputCount -= consumed;
            std::memmove(inputQueue.data(), inputQueue.data() + consumed, sizeof(double) * inputCount);
        }
    }

    if (outCount <= 0 || outputCount < outCount) return 0;
    std::memcpy(out, outputQueue.data(), sizeof(double) * outCount);
    outputCount -= outCount;
    std::memmove(outputQueue.data(), outputQueue.data() + outCount, sizeof(double) * outputCount);
    return outCount;
}

}  // namespace orve
