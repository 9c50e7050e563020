#include "dsp/stream_convolver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orve {
namespace {

constexpr int32_t kHead = kLevelBlock[0];
// Bins per multiply-add unit: small enough to spread a long level's block over
// many calls, large enough that the loop overhead does not show.
constexpr int32_t kChunkBins = 2048;
// Bins whose sums (4 kB) a multiply-add run keeps in the first-level cache.
constexpr int32_t kCachedBins = 256;

// Copies `count` values of a power-of-two ring from stream position `from`
// (the ring's index mask given), in at most two straight runs.
void CopyFromRing(const std::vector<double>& ring, int64_t mask, int64_t from, int32_t count, double* to) {
    const int64_t start = from & mask;
    const int32_t first = static_cast<int32_t>(std::min<int64_t>(count, mask + 1 - start));
    std::memcpy(to, ring.data() + start, sizeof(double) * first);
    std::memcpy(to + first, ring.data(), sizeof(double) * (count - first));
}

void CopyToRing(const double* from, int32_t count, std::vector<double>& ring, int64_t mask, int64_t at) {
    const int64_t start = at & mask;
    const int32_t first = static_cast<int32_t>(std::min<int64_t>(count, mask + 1 - start));
    std::memcpy(ring.data() + start, from, sizeof(double) * first);
    std::memcpy(ring.data(), from + first, sizeof(double) * (count - first));
}

int32_t PowerOfTwoAtLeast(int64_t n) {
    int32_t size = 1;
    while (size < n) size *= 2;
    return size;
}

int32_t Chunks(int32_t level) { return (LevelBins(level) + kChunkBins - 1) / kChunkBins; }

}  // namespace

StreamConvolver::StreamConvolver(int32_t levelsIn, int32_t fadeFramesIn, double spreadIn, LevelTransforms* transforms)
    : levelCount(std::clamp(levelsIn, 1, kConvolutionLevels)),
      ownTransforms(transforms ? nullptr : std::make_unique<LevelTransforms>(levelCount)),
      fadeFrames(std::max(fadeFramesIn, 1)),
      spread(std::clamp(spreadIn, 0.25, 0.75)),
      avx2(MultiplyAddAvx2Usable()) {
    for (int32_t k = 0; k < levelCount; ++k) {
        Level& level = levels[k];
        const int32_t B = kLevelBlock[k];
        level.fft = &(transforms ? *transforms : *ownTransforms).Level(k);
        // Scratch that every block writes before it reads, left unset: the
        // pages of levels a short kernel never reaches are then never
        // touched (several megabytes per ear for the longest levels).
        level.accA.reset(new double[static_cast<size_t>(2) * LevelBins(k)]);
        level.accB.reset(new double[static_cast<size_t>(2) * LevelBins(k)]);
        level.work.reset(new double[static_cast<size_t>(2) * B]);
        level.fadeWork.reset(new double[static_cast<size_t>(2) * B]);
        level.nextBlock = FirstBlock(k);
    }
    const int32_t top = levelCount - 1;
    // The oldest input a block reads lies its level's offset, a block and
    // (its work being spread over at most three quarters of a block) less than a
    // block more behind the newest, plus a head block of the call in hand.
    input.assign(PowerOfTwoAtLeast(static_cast<int64_t>(kLevelOffset[top]) + kLevelBlock[top] + 2 * kHead), 0.0);
    output.assign(PowerOfTwoAtLeast(2 * static_cast<int64_t>(kLevelBlock[top]) + 4 * kHead), 0.0);
    // Raised cosine: the new kernel's weight; the old one's is its complement,
    // so a kernel that does not change passes unaltered.
    fade.resize(fadeFrames);
    for (int32_t i = 0; i < fadeFrames; ++i) fade[i] = 0.5 - 0.5 * std::cos(M_PI * (i + 0.5) / fadeFrames);
}

int64_t StreamConvolver::FirstBlock(int32_t k) const {
    // Earlier blocks of a later level would only convolve the silence before
    // the stream.
    return k == 0 ? 0 : kLevelOffset[k] / kLevelBlock[k];
}

HistoryShape StreamConvolver::Shape() const {
    HistoryShape shape;
    shape.levels = levelCount;
    for (int32_t k = 0; k < levelCount; ++k) {
        shape.near[k] = static_cast<int32_t>(levels[k].rings.near.size());
        shape.far[k] = static_cast<int32_t>(levels[k].rings.far.size());
        shape.playing[k] = kernel ? kernel->Partitions(k) : 0;
    }
    return shape;
}

std::unique_ptr<ConvolutionHistory> StreamConvolver::PlanHistory(const HistoryShape& shape,
                                                                 const ConvolutionKernel* next) {
    auto history = std::make_unique<ConvolutionHistory>();
    for (int32_t k = 0; k < shape.levels; ++k) {
        const int32_t depth = std::max(shape.playing[k], next ? next->Partitions(k) : 0);
        const int32_t near = std::min(depth, LevelNearCapacity(k));
        const int32_t far = depth - near;
        const size_t entry = static_cast<size_t>(2) * LevelBins(k);
        ConvolutionHistory::Level& level = history->levels[k];
        // The first slots take the stream's own newest entries at Change;
        // the rest start from silence, as the stream's oldest past is not kept.
        level.near.resize(near);
        for (int32_t a = std::min(shape.near[k], near); a < near; ++a) level.near[a].reset(new double[entry]());
        level.far.resize(far);
        for (int32_t a = std::min(shape.far[k], far); a < far; ++a) level.far[a].reset(new float[entry]());
    }
    return history;
}

bool StreamConvolver::Changing() const {
    for (int32_t k = 0; k < levelCount; ++k)
        if (levels[k].fading) return true;
    return false;
}

void StreamConvolver::Change(const ConvolutionKernel* next, ConvolutionHistory& history) {
    const ConvolutionKernel* previous = kernel;
    kernel = next;
    for (int32_t k = 0; k < levelCount; ++k) {
        Level& level = levels[k];
        ConvolutionHistory::Level& fresh = history.levels[k];
        const bool wasActive = Depth(level) > 0;
        // Newest first: age a of the old ring becomes slot a of the new one.
        const size_t oldNear = level.rings.near.size(), oldFar = level.rings.far.size();
        for (size_t a = 0; a < std::min(oldNear, fresh.near.size()); ++a)
            fresh.near[a] = std::move(level.rings.near[(level.nearHead + a) % oldNear]);
        for (size_t a = 0; a < std::min(oldFar, fresh.far.size()); ++a)
            fresh.far[a] = std::move(level.rings.far[(level.farHead + a) % oldFar]);
        std::swap(level.rings.near, fresh.near);
        std::swap(level.rings.far, fresh.far);
        level.nearHead = level.farHead = 0;

        level.fading = false;
        level.fadeFrom = nullptr;
        if (Depth(level) == 0) {
            level.running = false;
            continue;
        }
        const int32_t B = kLevelBlock[k];
        if (k > 0 && !wasActive) {
            // A level that joins starts with the first block not yet begun.
            const int64_t due = fed - kHead + B;
            level.running = false;
            level.nextBlock = std::max(FirstBlock(k), (due + B - 1) / B);
        }
        if (fed == 0) continue;   // nothing computed yet: the switch is exact
        // From the next block this level starts on; a kernel from or to
        // nothing fades against silence.
        level.fading = true;
        level.fadeFrom = previous;
        level.fadeStart = k == 0 ? fed / kHead * kHead : (level.running ? level.block + 1 : level.nextBlock) * B;
    }
}

void StreamConvolver::Reset() {
    std::fill(input.begin(), input.end(), 0.0);
    std::fill(output.begin(), output.end(), 0.0);
    for (int32_t k = 0; k < levelCount; ++k) {
        Level& level = levels[k];
        const size_t entry = static_cast<size_t>(2) * LevelBins(k);
        for (auto& e : level.rings.near) std::fill(e.get(), e.get() + entry, 0.0);
        for (auto& e : level.rings.far) std::fill(e.get(), e.get() + entry, 0.0f);
        level.nearHead = level.farHead = 0;
        level.fading = false;
        level.fadeFrom = nullptr;
        level.running = false;
        level.nextBlock = FirstBlock(k);
    }
    fed = released = 0;
}

void StreamConvolver::PushSpectrum(int32_t k, const double* packed) {
    Level& level = levels[k];
    const int32_t near = static_cast<int32_t>(level.rings.near.size());
    const int32_t far = static_cast<int32_t>(level.rings.far.size());
    const int32_t bins = LevelBins(k);
    if (near == 0) return;
    // The oldest double-precision entry moves on to the single-precision ring
    // (into the slot of its oldest entry, which no partition needs any more);
    // its own slot takes the newest spectrum.
    const int32_t slot = (level.nearHead + near - 1) % near;
    if (far > 0) {
        const int32_t farSlot = (level.farHead + far - 1) % far;
        const double* from = level.rings.near[slot].get();
        float* to = level.rings.far[farSlot].get();
        for (int32_t i = 0; i < 2 * bins; ++i) to[i] = static_cast<float>(from[i]);
        level.farHead = farSlot;
    }
    level.nearHead = slot;
    double* re = level.rings.near[slot].get();
    SplitSpectrum(packed, kLevelBlock[k], re, re + bins, bins);
}

void StreamConvolver::MultiplyChunk(int32_t k, const ConvolutionKernel* with, double* acc, int32_t begin,
                                    int32_t end) {
    const Level& level = levels[k];
    const int32_t bins = LevelBins(k);
    const int32_t near = static_cast<int32_t>(level.rings.near.size());
    const int32_t far = static_cast<int32_t>(level.rings.far.size());
    const int32_t count = with->Partitions(k);
    const int32_t nearCount = with->NearPartitions(k);
    double* accRe = acc;
    double* accIm = acc + bins;
    // Partition p pairs with the input spectrum p blocks back. The bins go
    // in runs whose sums stay in the first-level cache while every partition
    // adds to them.
    for (int32_t from = begin; from < end; from += kCachedBins) {
        const int32_t to = std::min(end, from + kCachedBins);
        for (int32_t p = 0; p < nearCount; ++p) {
            const double* h = with->Near(k, p);
            const double* x = level.rings.near[(level.nearHead + p) % near].get();
            if (avx2) MultiplyAddAvx2(h, h + bins, x, x + bins, accRe, accIm, from, to);
            else MultiplyAdd(h, h + bins, x, x + bins, accRe, accIm, from, to);
        }
        for (int32_t p = nearCount; p < count; ++p) {
            const float* h = with->Far(k, p);
            const float* x = level.rings.far[(level.farHead + p - near) % far].get();
            if (avx2) MultiplyAddAvx2(h, h + bins, x, x + bins, accRe, accIm, from, to);
            else MultiplyAdd(h, h + bins, x, x + bins, accRe, accIm, from, to);
        }
    }
}

double StreamConvolver::UnitWeight(int32_t k, int32_t unit) const {
    // Rough costs in complex multiply-adds: a transform of n points about
    // n log2 n / 2 of them, a chunk one per bin and partition.
    const Level& level = levels[k];
    const double n = 2.0 * kLevelBlock[k];
    const double transform = 0.5 * n * std::log2(n);
    const int32_t chunks = Chunks(k);
    if (unit == 0) return transform;
    if (unit <= chunks) {
        const int32_t begin = (unit - 1) * kChunkBins;
        const int32_t bins = std::min(LevelBins(k), begin + kChunkBins) - begin;
        const int32_t partitions = (level.a ? level.a->Partitions(k) : 0) + (level.b ? level.b->Partitions(k) : 0);
        return static_cast<double>(bins) * partitions;
    }
    return transform;
}

void StreamConvolver::StartBlock(int32_t k) {
    Level& level = levels[k];
    const int32_t B = kLevelBlock[k];
    level.block = level.nextBlock;
    level.running = true;
    level.unit = 0;
    level.done = 0.0;
    level.a = kernel;
    const int64_t start = level.block * B;
    // A block that reaches into the crossfade is computed with both kernels.
    level.mixed = level.fading && start + B > level.fadeStart && start < level.fadeStart + fadeFrames;
    level.b = level.mixed ? level.fadeFrom : nullptr;
    const int32_t partitions = (level.a ? level.a->Partitions(k) : 0) + (level.b ? level.b->Partitions(k) : 0);
    // Forward transform, multiply-add chunks, an inverse per kernel.
    level.units = partitions > 0 ? Chunks(k) + (level.mixed ? 3 : 2) : 1;
    level.total = 0.0;
    for (int32_t u = 0; u < level.units; ++u) level.total += UnitWeight(k, u);
}

void StreamConvolver::RunUnit(int32_t k, int32_t unit) {
    Level& level = levels[k];
    const int32_t B = kLevelBlock[k], bins = LevelBins(k);
    const int32_t chunks = Chunks(k);
    if (unit == 0) {
        // Overlap-save: the input block of this output block and the one
        // before it. Level k's partitions start kLevelOffset[k] into the
        // kernel, so its input block lies that far behind its output block.
        const int64_t first = level.block * B - kLevelOffset[k] - B;
        const int64_t mask = static_cast<int64_t>(input.size()) - 1;
        CopyFromRing(input, mask, first, 2 * B, level.work.get());
        level.fft->ForwardReal(level.work.get());
        PushSpectrum(k, level.work.get());
        return;
    }
    if (unit <= chunks) {
        const int32_t begin = (unit - 1) * kChunkBins;
        const int32_t end = std::min(bins, begin + kChunkBins);
        for (auto [with, acc] : {std::pair{level.a, level.accA.get()}, std::pair{level.b, level.accB.get()}}) {
            if (!with) continue;
            std::fill(acc + begin, acc + end, 0.0);
            std::fill(acc + bins + begin, acc + bins + end, 0.0);
            MultiplyChunk(k, with, acc, begin, end);
        }
        return;
    }
    // Inverse: the second half is the linear convolution for this block (the
    // first is circularly aliased and dropped). A mixed block inverts the
    // new kernel's part in one unit and the old one's, with the crossfade,
    // in the next.
    const int64_t mask = static_cast<int64_t>(output.size()) - 1;
    const int64_t start = level.block * B;
    double* ya = level.work.get();
    if (unit == chunks + 1) {
        if (level.a && level.a->Partitions(k) > 0) {
            PackSpectrum(level.accA.get(), level.accA.get() + bins, B, ya);
            level.fft->InverseReal(ya);
        } else {
            std::fill(ya, ya + 2 * B, 0.0);
        }
        if (level.mixed) return;
        for (int32_t i = 0; i < B; ++i) output[(start + i) & mask] += ya[B + i];
        return;
    }
    // The old kernel's block (silence when fading in from none) weighted
    // down as the new one's comes up.
    double* yb = level.fadeWork.get();
    if (level.b && level.b->Partitions(k) > 0) {
        PackSpectrum(level.accB.get(), level.accB.get() + bins, B, yb);
        level.fft->InverseReal(yb);
    } else {
        std::fill(yb, yb + 2 * B, 0.0);
    }
    ya += B;
    yb += B;
    for (int32_t i = 0; i < B; ++i) {
        const int64_t q = start + i - level.fadeStart;
        const double g = q < 0 ? 0.0 : (q >= fadeFrames ? 1.0 : fade[q]);
        output[(start + i) & mask] += yb[i] + g * (ya[i] - yb[i]);
    }
}

void StreamConvolver::FinishBlock(int32_t k) {
    Level& level = levels[k];
    level.running = false;
    level.nextBlock = level.block + 1;
    if (level.fading && (level.block + 1) * kLevelBlock[k] >= level.fadeStart + fadeFrames) {
        level.fading = false;
        level.fadeFrom = nullptr;
    }
}

void StreamConvolver::Advance(int32_t k) {
    Level& level = levels[k];
    const int32_t B = kLevelBlock[k];
    // Each block's work is spread evenly over a part (three quarters, for
    // the first stream) of the time between its window's start and its due
    // date, so that each level ends its blocks at its own phase.
    const double span = spread * B;
    while (Depth(level) > 0) {
        if (!level.running) {
            if (fed < level.nextBlock * B + kHead - B) return;
            StartBlock(k);
        }
        const int64_t start = level.block * B + kHead - B;
        const bool late = static_cast<double>(fed - start) >= span;
        const double target = late ? level.total : level.total * static_cast<double>(fed - start) / span;
        while (level.unit < level.units) {
            const double weight = UnitWeight(k, level.unit);
            if (!late && level.done + weight > target) break;
            RunUnit(k, level.unit);
            level.done += weight;
            ++level.unit;
        }
        if (level.unit < level.units) return;
        FinishBlock(k);
    }
}

int32_t StreamConvolver::Process(const double* in, int32_t count, double* wet, double* dry) {
    const int64_t inMask = static_cast<int64_t>(input.size()) - 1;
    const int64_t outMask = static_cast<int64_t>(output.size()) - 1;
    int32_t delivered = 0;
    while (count > 0) {
        // Up to the end of the head block being filled.
        const int32_t step = std::min<int32_t>(count, kHead - static_cast<int32_t>(fed % kHead));
        CopyToRing(in, step, input, inMask, fed);
        in += step;
        count -= step;
        fed += step;
        if (fed % kHead == 0 && Depth(levels[0]) > 0) {
            Level& head = levels[0];
            head.nextBlock = fed / kHead - 1;
            StartBlock(0);
            for (int32_t u = 0; u < head.units; ++u) RunUnit(0, u);
            FinishBlock(0);
        }
        for (int32_t k = 1; k < levelCount; ++k) Advance(k);
        // Released: every frame whose head block is complete.
        for (; released < fed - kLatency; ++released, ++delivered) {
            double& y = output[released & outMask];
            if (wet) wet[delivered] = y;
            y = 0.0;
            if (dry) dry[delivered] = input[released & inMask];
        }
    }
    return delivered;
}

}  // namespace orve
