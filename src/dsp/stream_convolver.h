#pragma once
// One channel's stream convolved with a ConvolutionKernel: constant latency
// for any block size, bounded work per block, and kernel changes crossfaded
// without cutting the room's memory of the stream.
//
// Output frame t is the convolution at stream sample t; it is released once
// input frame t + kLatency has arrived, so after F frames in exactly
// F - kLatency frames are out (none while F < kLatency), however the stream is
// cut into calls. That is the least a head partition of 256 samples allows:
// a head block runs as soon as its last sample arrives.
//
// The head level runs in the call that completes its block. Every later level
// has a block's worth of stream (its partitions start two blocks into the
// kernel) between the moment its input block is complete and the moment its
// output is due; its work for a block (forward FFT, multiply-adds in chunks of
// bins, inverse FFT) is spread over at most three quarters of that time, a little per
// call, so no call pays for a whole long block. Levels finish their blocks at
// different phases, so their FFTs do not pile up in one call either.
//
// The history (the spectra of the last input blocks of each level) belongs to
// the stream, not to the kernel. A new kernel is applied to the same history:
// a changed room keeps reverberating what was played before the change. Each
// level switches at its next block, computing that block with both kernels
// and crossfading over fadeFrames; the head level switches within a head
// block, the longest within one of its blocks.
//
// Nothing is allocated after construction: history rings deep enough for a
// new kernel are built off the audio thread (PlanHistory) and linked in by
// Change, which moves entry ownership, never copies spectra.
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/convolution_kernel.h"

namespace orve {

// A stream's frequency-domain history: per level, the spectra of its last input
// blocks (split planes, 2 x LevelBins each), the first LevelNearCapacity in
// double precision, older ones in single.
struct ConvolutionHistory {
    struct Level {
        std::vector<std::unique_ptr<double[]>> near;
        std::vector<std::unique_ptr<float[]>> far;
    };
    Level levels[kConvolutionLevels];
};

// What a kernel change needs to know about a stream, captured where the stream
// lives: the depths of its history rings and the partitions of the kernel it
// plays.
struct HistoryShape {
    int32_t levels = 0;
    int32_t near[kConvolutionLevels] = {};
    int32_t far[kConvolutionLevels] = {};
    int32_t playing[kConvolutionLevels] = {};
};

class StreamConvolver {
public:
    static constexpr int32_t kLatency = kLevelBlock[0] - 1;

    // levels: how many levels of the layout the kernels may use (their
    // Levels()); fadeFrames: length of a kernel change's crossfade; spread:
    // the fraction of a block over which a long level spreads its work
    // (below 1; streams played side by side take different ones, so that
    // their transforms fall into different calls); transforms: the level
    // transforms to use, shared by streams that run on one thread (null:
    // the stream makes its own). Silent (no kernel) until Change.
    StreamConvolver(int32_t levels, int32_t fadeFrames, double spread = 0.75, LevelTransforms* transforms = nullptr);
    StreamConvolver(const StreamConvolver&) = delete;
    StreamConvolver& operator=(const StreamConvolver&) = delete;

    // Feeds `count` frames and writes the frames released meanwhile: the
    // convolution to `wet` and the input delayed to match to `dry` (either may
    // be null). Returns how many; `in` may be the same array as `wet`.
    int32_t Process(const double* in, int32_t count, double* wet, double* dry);

    HistoryShape Shape() const;
    // Off the audio thread: rings deep enough for the kernel a stream of
    // `shape` plays and for `next` (null: none), with zeroed entries where the
    // stream's own history does not reach.
    static std::unique_ptr<ConvolutionHistory> PlanHistory(const HistoryShape& shape,
                                                           const ConvolutionKernel* next);
    // Plays `next` (null: silence) from now on, on the rings of `history`
    // (planned from Shape() and this very `next`); `history` is left holding
    // what the stream no longer needs. Before any input the switch is
    // immediate, later it is crossfaded level by level. Only when !Changing().
    void Change(const ConvolutionKernel* next, ConvolutionHistory& history);
    // A crossfade still runs: the kernel it fades from is still in use.
    bool Changing() const;
    const ConvolutionKernel* Kernel() const { return kernel; }

    // Clears the stream (history, queued output, crossfade) and starts again
    // from frame 0 with the kernel in use.
    void Reset();

private:
    struct Level {
        FftEngine* fft = nullptr;
        ConvolutionHistory::Level rings;
        int32_t nearHead = 0, farHead = 0;
        // A kernel change in progress: blocks from fadeStart on fade from
        // fadeFrom (null: silence) to the kernel in use.
        bool fading = false;
        const ConvolutionKernel* fadeFrom = nullptr;
        int64_t fadeStart = 0;
        // The block in hand: its output block index, the kernels it was started
        // with, and how far its units have got.
        int64_t nextBlock = 0;
        bool running = false;
        int64_t block = 0;
        const ConvolutionKernel* a = nullptr;
        const ConvolutionKernel* b = nullptr;
        bool mixed = false;
        int32_t unit = 0;
        int32_t units = 0;
        double done = 0.0, total = 0.0;
        std::unique_ptr<double[]> accA, accB, work, fadeWork;
    };

    int32_t Depth(const Level& level) const { return static_cast<int32_t>(level.rings.near.size() + level.rings.far.size()); }
    void PushSpectrum(int32_t k, const double* packed);
    void MultiplyChunk(int32_t k, const ConvolutionKernel* kernel, double* acc, int32_t begin, int32_t end);
    void RunUnit(int32_t k, int32_t unit);
    void FinishBlock(int32_t k);
    void StartBlock(int32_t k);
    double UnitWeight(int32_t k, int32_t unit) const;
    void Advance(int32_t k);
    int64_t FirstBlock(int32_t k) const;

    int32_t levelCount;
    std::unique_ptr<LevelTransforms> ownTransforms;
    int32_t fadeFrames;
    double spread;
    bool avx2;   // the multiply-add in 256-bit registers
    const ConvolutionKernel* kernel = nullptr;
    Level levels[kConvolutionLevels];
    std::vector<double> input;    // ring of past input, by stream position
    std::vector<double> output;   // ring of pending output, by stream position
    std::vector<double> fade;     // fade-in weights of the new kernel
    int64_t fed = 0;
    int64_t released = 0;
};

}  // namespace orve
