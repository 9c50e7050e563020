#include "dsp/partitioned_convolver.h"

#include <algorithm>
#include <cstring>

namespace orve {
namespace {

constexpr int32_t kInitialQueueCapacity = 4096;

// Grows a queue to exactly `count` samples, keeping what it holds.
void GrowQueue(std::vector<double>& queue, int32_t count) {
    if (count > static_cast<int32_t>(queue.size())) queue.resize(static_cast<size_t>(count));
}

// out = a * b over packed half spectra of n points: DC and Nyquist are real,
// each bin k sits at (2k-1, 2k).
void MultiplyPacked(const double* a, const double* b, double* out, int32_t n) {
    out[0] = a[0] * b[0];
    out[n - 1] = a[n - 1] * b[n - 1];
    for (int32_t i = 1; i < n - 1; i += 2) {
        const double ar = a[i], ai = a[i + 1], br = b[i], bi = b[i + 1];
        out[i] = ar * br - ai * bi;
        out[i + 1] = ai * br + ar * bi;
    }
}

// acc += k[0] * x[0], then += k[1] * x[1], ... for `count` (1..4) pairs of
// packed half spectra, element by element in that order. Holding each
// accumulator element in a register across the pairs keeps the per-element
// rounding sequence of one pass per pair while reading and writing the
// accumulator once instead of `count` times.
void AccumulatePacked(const double* const* k, const double* const* x, int count, double* __restrict acc, int32_t n) {
    const double* k0 = k[0];
    const double* x0 = x[0];
    const double* k1 = count > 1 ? k[1] : k0;
    const double* x1 = count > 1 ? x[1] : x0;
    const double* k2 = count > 2 ? k[2] : k0;
    const double* x2 = count > 2 ? x[2] : x0;
    const double* k3 = count > 3 ? k[3] : k0;
    const double* x3 = count > 3 ? x[3] : x0;
    auto edge = [&](int32_t i) {
        double a = acc[i] + k0[i] * x0[i];
        if (count > 1) a = a + k1[i] * x1[i];
        if (count > 2) a = a + k2[i] * x2[i];
        if (count > 3) a = a + k3[i] * x3[i];
        acc[i] = a;
    };
    edge(0);
    edge(n - 1);
    if (count == 4) {
        for (int32_t i = 1; i < n - 1; i += 2) {
            double re = acc[i], im = acc[i + 1];
            re = re + (k0[i] * x0[i] - k0[i + 1] * x0[i + 1]);
            im = im + (k0[i + 1] * x0[i] + k0[i] * x0[i + 1]);
            re = re + (k1[i] * x1[i] - k1[i + 1] * x1[i + 1]);
            im = im + (k1[i + 1] * x1[i] + k1[i] * x1[i + 1]);
            re = re + (k2[i] * x2[i] - k2[i + 1] * x2[i + 1]);
            im = im + (k2[i + 1] * x2[i] + k2[i] * x2[i + 1]);
            re = re + (k3[i] * x3[i] - k3[i + 1] * x3[i + 1]);
            im = im + (k3[i + 1] * x3[i] + k3[i] * x3[i + 1]);
            acc[i] = re;
            acc[i + 1] = im;
        }
        return;
    }
    for (int c = 0; c < count; ++c) {
        const double* a = k[c];
        const double* b = x[c];
        for (int32_t i = 1; i < n - 1; i += 2) {
            const double ar = a[i], ai = a[i + 1], br = b[i], bi = b[i + 1];
            acc[i] = acc[i] + (ar * br - ai * bi);
            acc[i + 1] = acc[i + 1] + (ai * br + ar * bi);
        }
    }
}

}  // namespace

PartitionedConvolver::PartitionedConvolver(int32_t blockSize, int32_t kernelLength, const double* kernel)
    : fft(2 * blockSize, FftKind::Real),
      blockSize(blockSize),
      fftSize(2 * blockSize),
      scratch(static_cast<size_t>(3 * 2 * blockSize), 0.0),
      inputQueue(kInitialQueueCapacity, 0.0),
      outputQueue(kInitialQueueCapacity, 0.0) {
    history = scratch.data();
    work = history + fftSize;
    accumulator = work + fftSize;
    if (kernelLength > 0 && kernel) SetKernel(kernelLength, kernel);
}

void PartitionedConvolver::SetKernel(int32_t length, const double* samples) {
    if (length <= 0 || !samples) return;
    const int32_t B = blockSize, N = fftSize;
    const int32_t P = length / B + (length % B != 0 ? 1 : 0);
    // A fresh zeroed block: the input-spectrum ring holds no trace of the
    // stream convolved with the old kernel, so its tail is cut. The old block
    // goes first: at the largest rooms each block is ~100 MB per channel, and
    // holding old and new together would double the peak in a 32-bit host.
    // Should the allocation fail, the convolver is left without a kernel
    // (silent) rather than with pointers into a released block.
    partitionCount = 0;
    kernelSpectra = inputSpectra = nullptr;
    std::vector<double>().swap(spectra);
    spectra.assign(static_cast<size_t>(2) * P * N, 0.0);
    partitionCount = P;
    kernelSpectra = spectra.data();
    inputSpectra = kernelSpectra + static_cast<size_t>(P) * N;
    ringHead = 0;
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

    if (P > 0) {
        // The newest spectrum replaces the one P blocks old, which no
        // partition needs any more.
        ringHead = ringHead + 1 < P ? ringHead + 1 : 0;
        double* newest = inputSpectra + static_cast<size_t>(ringHead) * N;
        std::memcpy(newest, history, sizeof(double) * N);
        fft.ForwardReal(newest);
        // Oldest first: partition p pairs with the spectrum p blocks back, at
        // ring slot ringHead - p. The sum is built in the order a shifting
        // accumulator chain builds it, so the result is bit for bit the same.
        auto spectrumBack = [&](int32_t p) {
            const int32_t slot = ringHead - p < 0 ? ringHead - p + P : ringHead - p;
            return inputSpectra + static_cast<size_t>(slot) * N;
        };
        MultiplyPacked(kernelSpectra + static_cast<size_t>(P - 1) * N, spectrumBack(P - 1), accumulator, N);
        for (int32_t p = P - 2; p >= 0;) {
            const double* k[4];
            const double* x[4];
            int count = 0;
            for (; count < 4 && p >= 0; ++count, --p) {
                k[count] = kernelSpectra + static_cast<size_t>(p) * N;
                x[count] = spectrumBack(p);
            }
            AccumulatePacked(k, x, count, accumulator, N);
        }
        std::memcpy(work, accumulator, sizeof(double) * N);
        fft.InverseReal(work);
    } else {
        // No kernel yet: the stream convolves with nothing.
        std::fill(work, work + N, 0.0);
    }

    if (!primed) {
        // The first block after construction, a reset or a kernel change sees
        // a history (or input-spectrum ring) that does not belong to the
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
