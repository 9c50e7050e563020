#pragma once
// Uniformly partitioned overlap-save FFT convolution of one channel's stream
// with a long impulse response.
//
// The kernel is cut into P partitions of B samples, each transformed once to a
// packed half spectrum of N = 2B points. Every block of B input samples costs
// one forward and one inverse real FFT plus P complex multiply-adds giving the
// sum of kernel partition p times the spectrum of the block p steps back.
//
// The spectra of the last P input blocks are kept in a ring (a frequency-domain
// delay line) and summed into one accumulator per block, oldest partition
// first. That is the same sum, in the same floating-point order, as a chain of
// P accumulators shifted by one partition every block, but it writes N values
// per block instead of P x N, and four partitions share each pass over it.
// The saving grows with P: a few percent for a 17-partition room, some 15 %
// for the ~1500 partitions of the largest modal-reverb rooms, where the
// chain's memory traffic dominated.
// A new kernel zeroes the ring, which cuts the old kernel's tail exactly as
// zeroed accumulators would.
//
// Input and output are queued inside, so callers hand over blocks of any
// length. Latency: the first processed block's output is discarded (its
// history half is not yet real signal), and a block only runs once at least
// one further sample is queued behind it; with 576-sample calls and B = 2048
// the first seven calls return 0 and from the eighth on the output trails the
// input by 1984 samples.
#include <cstdint>
#include <vector>

#include "dsp/fft_engine.h"

namespace orve {

class PartitionedConvolver {
public:
    // Builds the transform for N = 2 * blockSize and empty queues; sets the
    // kernel when kernelLength > 0 and samples are given.
    explicit PartitionedConvolver(int32_t blockSize, int32_t kernelLength = 0,
                                  const double* kernel = nullptr);
    PartitionedConvolver(const PartitionedConvolver&) = delete;
    PartitionedConvolver& operator=(const PartitionedConvolver&) = delete;

    // Replaces the kernel. The input-spectrum ring restarts from zero (the
    // previous kernel's tail is cut) and the next processed block's output is
    // discarded; history and both queues carry over. Ignored when
    // length <= 0 or samples is null.
    void SetKernel(int32_t length, const double* samples);

    // Appends inCount samples, runs every block that can run, and then either
    // writes exactly outCount samples to out and returns outCount, or writes
    // nothing and returns 0 when fewer than outCount samples are queued.
    // in and out may be the same array.
    int32_t Convolve(const double* in, double* out, int32_t inCount, int32_t outCount);

    // The owner's reset: empties both queues and discards the next block's
    // output; history, input spectra and kernel stay as they are.
    void Reset();

    int32_t BlockSize() const { return blockSize; }
    int32_t FftSize() const { return fftSize; }
    int32_t PartitionCount() const { return partitionCount; }
    int32_t InputCount() const { return inputCount; }
    int32_t OutputCount() const { return outputCount; }
    bool Primed() const { return primed; }

private:
    void ProcessBlockAt(const double* block);

    FftEngine fft;
    int32_t blockSize;
    int32_t fftSize;
    int32_t partitionCount = 0;
    // P x N kernel spectra followed by the P x N ring of input spectra (one
    // allocation); inputSpectra + ringHead * N holds the newest block's.
    std::vector<double> spectra;
    double* kernelSpectra = nullptr;
    double* inputSpectra = nullptr;
    int32_t ringHead = 0;
    // history (previous block, current block), work and the accumulator: 3 x N.
    std::vector<double> scratch;
    double* history;
    double* work;
    double* accumulator;
    bool primed = false;
    int32_t inputCount = 0;
    int32_t outputCount = 0;
    std::vector<double> inputQueue;
    std::vector<double> outputQueue;
};

}  // namespace orve
