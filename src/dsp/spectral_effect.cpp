#include "dsp/spectral_effect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/channel_planes.h"
#include "dsp/sort.h"

namespace orve {

int32_t ChooseFrameLength(int32_t target, int32_t minimum) {
    if (target <= minimum) return minimum;
    const double lnTarget = std::log(static_cast<double>(target));
    const int a2 = static_cast<int>(lnTarget / std::log(2.0)) + 1;
    const int a3 = static_cast<int>(lnTarget / std::log(3.0)) + 1;
    const int a5 = static_cast<int>(lnTarget / std::log(5.0)) + 1;
    const int a7 = static_cast<int>(lnTarget / std::log(7.0)) + 1;
    auto ipow = [](int64_t base, int e) {
        int64_t r = 1;
        while (e-- > 0) r *= base;
        return r;
    };
    const int64_t bound = std::min(std::min(ipow(2, a2), ipow(3, a3)), std::min(ipow(5, a5), ipow(7, a7)));

    // The enumeration stops at the first product above the bound (all loops),
    // which keeps the candidates to minimum x 2^i and, at most, three times those.
    std::vector<int32_t> candidates;
    bool done = false;
    for (int l = 0; l < a7 && !done; ++l)
        for (int k = 0; k < a5 && !done; ++k)
            for (int j = 0; j < a3 && !done; ++j)
                for (int i = 0; i < a2 && !done; ++i) {
                    const int64_t product = minimum * ipow(2, i) * ipow(3, j) * ipow(5, k) * ipow(7, l);
                    if (product > bound) {
                        done = true;
                    } else {
                        candidates.push_back(static_cast<int32_t>(product));
                    }
                }
    if (candidates.empty()) return minimum;
    int32_t result = candidates.back();
    HeapSort(candidates.data(), static_cast<int32_t>(candidates.size()));
    for (size_t c = candidates.size() - 1; c >= 1; --c) {
        const int32_t lower = candidates[c - 1], upper = candidates[c];
        if (lower <= target && target <= upper) {
            result = (target - lower) <= (upper - target) ? lower : upper;
            break;
        }
    }
    return result;
}

SpectralEffect::SpectralEffect(double sampleRate, double frameSeconds, double hopFraction,
                               int32_t channels, int32_t capacity, int32_t windowMode)
    : EffectProcessor(capacity),
      frameSeconds(frameSeconds),
      sampleRate(sampleRate),
      channels(channels),
      hopFraction(hopFraction),
      windowMode(windowMode) {
    frameLength = ChooseFrameLength(static_cast<int32_t>(sampleRate * frameSeconds), 2);
    SetUpFrames();
}

SpectralEffect::SpectralEffect(DeferFraming, double sampleRate, double hopFraction,
                               int32_t channels, int32_t capacity, int32_t windowMode)
    : EffectProcessor(capacity),
      frameSeconds(0.0),
      sampleRate(sampleRate),
      channels(channels),
      hopFraction(hopFraction),
      windowMode(windowMode) {}

SpectralEffect::~SpectralEffect() { delete[] frameStorage; }

int32_t SpectralEffect::FrameLengthFor(double seconds, double sampleRate) {
    const int32_t target = static_cast<int32_t>(seconds * sampleRate);
    return target <= 2 ? 2 : ChooseFrameLength(target, 2);
}

size_t SpectralEffect::StorageValues(int32_t frameLength, int32_t channels, int32_t windowMode) {
    const size_t nN = static_cast<size_t>(channels) * frameLength;
    return windowMode == kWindowed ? 4 * nN + frameLength : 3 * nN;
}

void SpectralEffect::SetFrameSeconds(double seconds) {
    frameSeconds = seconds;
    frameLength = FrameLengthFor(seconds, sampleRate);
    SetUpFrames();
}

void SpectralEffect::SetFrameLength(int32_t length, int32_t hopLength) {
    frameSeconds = length / sampleRate;
    frameLength = length;
    SetUpFrames(hopLength);
}

void SpectralEffect::SetUpFrames(int32_t hopLength) {
    delete[] frameStorage;
    frameStorage = nullptr;
    double* storage = new double[StorageValues(frameLength, channels, windowMode)]();
    LayOut(storage, true, hopLength);
}

void SpectralEffect::MakeFrames(FrameSet& set, double seconds, double sampleRate, double hopFraction,
                                int32_t channels, int32_t windowMode, int32_t blockValues, int32_t capacity) {
    // A stand-in effect computes the layout and the window exactly as the
    // effect itself would; its arrays then move into the set.
    SpectralEffect frames(DeferFraming{}, sampleRate, hopFraction, channels, 0, windowMode);
    frames.SetFrameSeconds(seconds);
    set.seconds = seconds;
    set.frameLength = frames.frameLength;
    set.storage.reset(frames.frameStorage);
    frames.frameStorage = nullptr;
    // The queues' worst cases for blocks of this size (see ProcessBlock).
    const int32_t step = frames.hop * channels;
    set.inCapacity = std::max(step + blockValues, 1);
    set.outCapacity = std::max(capacity + ((step + blockValues) / std::max(step, 1) + 1) * step, 1);
    set.inBuffer.reset(new double[set.inCapacity]);
    set.outBuffer.reset(new double[set.outCapacity]);
}

void SpectralEffect::AdoptFrames(FrameSet& set) {
    std::swap(frameSeconds, set.seconds);
    std::swap(frameLength, set.frameLength);
    double* old = frameStorage;
    frameStorage = nullptr;
    LayOut(set.storage.release(), false, -1);
    set.storage.reset(old);
    // The pending input and the output not yet released belong to the old
    // framing and are dropped with it, as SetFrameSeconds drops them.
    double* in = inBuffer;
    double* out = outBuffer;
    inBuffer = set.inBuffer.release();
    outBuffer = set.outBuffer.release();
    set.inBuffer.reset(in);
    set.outBuffer.reset(out);
    std::swap(inCapacity, set.inCapacity);
    std::swap(outCapacity, set.outCapacity);
}

void SpectralEffect::LayOut(double* storage, bool computeWindow, int32_t hopLength) {
    frameStorage = storage;
    pending = ready = readyStart = frameCounter = 0;
    const int32_t n = channels, N = frameLength;
    hop = hopLength >= 0 ? hopLength : static_cast<int32_t>(N * hopFraction);
    overlap = N - hop;

    const bool windowed = windowMode == kWindowed;
    history = frameStorage;
    accumulator = history + n * N;
    frameBuffer = accumulator + n * N;
    windowedFrame = windowed ? frameBuffer + n * N : nullptr;
    window = windowed ? windowedFrame + n * N : nullptr;
    if (!windowed || !computeWindow) return;

    if (N == 1) {
        window[0] = 1.0;
        return;
    }
    const double twoPi = 2.0 * M_PI;
    for (int32_t i = 0; i < N; ++i) {
        const double x = static_cast<double>(i) / (N - 1);
        window[i] = 0.35875 - 0.48829 * std::cos(twoPi * x) + 0.14128 * std::cos(2 * twoPi * x) -
                    0.01168 * std::cos(3 * twoPi * x);
    }
    // Scale so that the squared windows overlapping at any position sum to one:
    // analysis and synthesis windowing then reconstruct an untouched frame exactly.
    if (hop < 1) return;
    for (int32_t r = 0; r < hop; ++r) {
        double s = 0.0;
        for (int32_t i = r; i < N; i += hop) s += window[i] * window[i];
        const double scale = s > 0.0 ? 1.0 / std::sqrt(s) : 1.0;
        for (int32_t i = r; i < N; i += hop) window[i] *= scale;
    }
}

int32_t SpectralEffect::InputStep() { return hop * channels; }
int32_t SpectralEffect::OutputStep() { return hop * channels; }
void SpectralEffect::ProcessChannels(int32_t) {}

int32_t SpectralEffect::ProcessBlock(const double* in, double* out, int32_t inCount,
                                     int32_t outCapacity, int32_t channelMask) {
    largestBlock = std::max(largestBlock, inCount);
    largestCapacity = std::max(largestCapacity, outCapacity);
    const int32_t step = InputStep();
    const int32_t produce = OutputStep();
    // The queues are sized for the worst a stream of such blocks can bring
    // (at most a hop left pending, at most a block waiting besides what one
    // call produces) the first time they grow, so that the drift of hop
    // against block phase never makes them grow again on the audio thread.
    if (inCount > 0) {
        if (pending + inCount > inCapacity)
            GrowBuffer(inBuffer, inCapacity, std::max(pending, step) + inCount, pending);
        std::memmove(inBuffer + pending, in, sizeof(double) * inCount);
        pending += inCount;
    }
    if (step > 0 && pending >= step) {
        const int32_t needed = (pending / step) * produce + ready;
        // Moving the waiting values on every release cost a whole hop per
        // block; moved only now, the cost is spread over a hop's worth of blocks.
        if (readyStart > 0 && readyStart + needed > this->outCapacity) {
            std::memmove(outBuffer, outBuffer + readyStart, sizeof(double) * ready);
            readyStart = 0;
        }
        if (needed > this->outCapacity) {
            const int32_t most = outCapacity + (std::max(pending, step + inCount) / step + 1) * produce;
            GrowBuffer(outBuffer, this->outCapacity, std::max(needed, most), ready);
        }
        int32_t consumed = 0;
        // At least one value stays pending, so a block that ends exactly on a
        // hop boundary keeps its last hop for the next call.
        while (pending - consumed > step) {
            ProcessFrame(inBuffer + consumed, channelMask);
            consumed += step;
        }
        pending -= consumed;
        if (consumed > 0 && pending > 0) std::memmove(inBuffer, inBuffer + consumed, sizeof(double) * pending);
    }
    // An empty block asks for nothing; the output buffer may not exist yet.
    if (outCapacity <= 0 || ready < outCapacity) return 0;
    std::memcpy(out, outBuffer + readyStart, sizeof(double) * outCapacity);
    ready -= outCapacity;
    readyStart = ready > 0 ? readyStart + outCapacity : 0;
    return outCapacity;
}

void SpectralEffect::ProcessFrame(const double* hopValues, int32_t channelMask) {
    const int32_t n = channels, N = frameLength, H = hop, V = overlap;
    const int32_t hopValuesCount = H * n;
    const int32_t total = N * n;

    std::memmove(history, history + hopValuesCount, sizeof(double) * (total - hopValuesCount));
    std::memcpy(history + total - hopValuesCount, hopValues, sizeof(double) * hopValuesCount);
    std::memmove(accumulator, accumulator + hopValuesCount, sizeof(double) * (total - hopValuesCount));

    SplitChannels(history, n, N, frameBuffer, N, windowMode == kWindowed ? window : nullptr);

    ProcessChannels(channelMask);

    if (windowMode == kWindowed) {
        JoinChannels(frameBuffer, N, n, N, windowedFrame, window);
        const int32_t overlapValues = V * n;
        std::memcpy(accumulator + overlapValues, windowedFrame + overlapValues,
                    sizeof(double) * (total - overlapValues));
        for (int32_t v = 0; v < overlapValues; ++v) accumulator[v] += windowedFrame[v];
    } else {
        JoinChannels(frameBuffer, N, n, N, accumulator);
    }

    // The first V samples per channel come from the zero-filled history: drop
    // exactly those, so output sample j is processed input sample j.
    const int32_t q = H > 0 ? V / H : 0;
    if (frameCounter > q) {
        std::memcpy(outBuffer + readyStart + ready, accumulator, sizeof(double) * hopValuesCount);
        ready += hopValuesCount;
    } else if (frameCounter == q) {
        const int32_t r = V - q * H;
        const int32_t count = (H - r) * n;
        std::memcpy(outBuffer + readyStart + ready, accumulator + r * n, sizeof(double) * count);
        ready += count;
    }
    ++frameCounter;
}

int32_t SpectralEffect::Reset() {
    const int32_t values = channels * frameLength;
    if (history) std::fill(history, history + values, 0.0);
    if (accumulator) std::fill(accumulator, accumulator + values, 0.0);
    pending = ready = readyStart = frameCounter = 0;
    return 0;
}

}  // namespace orve
