#include "dsp/stream_convolver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

// A kernel given by its non-zero taps, so that the direct convolution a test
// compares with stays cheap however long the kernel is.
struct SparseKernel {
    std::vector<std::pair<int32_t, double>> taps;
    int32_t length = 0;
    std::vector<double> Dense() const {
        std::vector<double> h(length, 0.0);
        for (auto [at, v] : taps) h[at] = v;
        return h;
    }
    double At(const std::vector<double>& x, int64_t t) const {
        double y = 0.0;
        for (auto [at, v] : taps)
            if (t - at >= 0) y += v * x[t - at];
        return y;
    }
};

// A dense head of `head` taps and single taps further out.
SparseKernel MakeKernel(int32_t head, std::vector<int32_t> far, uint32_t seed) {
    SparseKernel k;
    const auto noise = test::Noise(head + static_cast<int32_t>(far.size()), 1.0, seed);
    for (int32_t i = 0; i < head; ++i) k.taps.push_back({i, noise[i]});
    for (size_t i = 0; i < far.size(); ++i) k.taps.push_back({far[i], noise[head + i]});
    for (auto [at, v] : k.taps) k.length = std::max(k.length, at + 1);
    return k;
}

std::unique_ptr<ConvolutionKernel> Load(const SparseKernel& k, int32_t levels = kConvolutionLevels) {
    LevelTransforms transforms(levels);
    auto kernel = std::make_unique<ConvolutionKernel>(k.length, levels);
    kernel->Load(k.Dense().data(), transforms);
    return kernel;
}

void Play(StreamConvolver& stream, const ConvolutionKernel* kernel) {
    auto history = StreamConvolver::PlanHistory(stream.Shape(), kernel);
    stream.Change(kernel, *history);
}

// Feeds x in calls of the given sizes (cycled; 0 means random 1..16384),
// checks after every call that exactly fed - latency frames are out, and
// calls `between(fed)` before each call.
template <typename Between>
std::vector<double> Stream(StreamConvolver& stream, const std::vector<double>& x, std::vector<int32_t> sizes,
                           Between between) {
    std::vector<double> y, out(16384);
    std::mt19937 random(5);
    int64_t fed = 0;
    for (size_t call = 0; fed < static_cast<int64_t>(x.size()); ++call) {
        between(fed);
        int32_t n = sizes[call % sizes.size()];
        if (n == 0) n = 1 + static_cast<int32_t>(random() % 16384);
        n = static_cast<int32_t>(std::min<int64_t>(n, static_cast<int64_t>(x.size()) - fed));
        const int32_t got = stream.Process(x.data() + fed, n, out.data(), nullptr);
        fed += n;
        EXPECT_EQ(static_cast<int64_t>(y.size()) + got, std::max<int64_t>(0, fed - StreamConvolver::kLatency))
            << "call " << call;
        y.insert(y.end(), out.begin(), out.begin() + got);
    }
    return y;
}

std::vector<double> Stream(StreamConvolver& stream, const std::vector<double>& x, std::vector<int32_t> sizes) {
    return Stream(stream, x, std::move(sizes), [](int64_t) {});
}

TEST(StreamConvolver, EveryBlockSizeGivesTheConvolutionAtAConstantLatency) {
    // Taps in every level, the last beyond 2^19 (single precision).
    const SparseKernel k = MakeKernel(600, {2500, 9000, 40000, 140000, 530000}, 3);
    const auto kernel = Load(k);
    ASSERT_GT(kernel->Partitions(4), kernel->NearPartitions(4));
    const auto x = test::Noise(600000, 1000.0, 11);
    std::vector<double> reference(x.size());
    for (size_t t = 0; t < x.size(); ++t) reference[t] = k.At(x, static_cast<int64_t>(t));
    for (const std::vector<int32_t>& sizes : {std::vector<int32_t>{1}, {441, 480, 576, 882, 1000, 1152}, {16384}, {0}}) {
        StreamConvolver stream(kConvolutionLevels, 1024);
        Play(stream, kernel.get());
        const auto y = Stream(stream, x, sizes);
        ASSERT_EQ(y.size(), x.size() - StreamConvolver::kLatency);
        double worst = 0.0;
        for (size_t t = 0; t < y.size(); ++t) worst = std::max(worst, std::abs(y[t] - reference[t]));
        // The far tap's partition is single precision: 1e-7 of its share.
        EXPECT_LT(worst, 1e-3) << "block sizes from " << sizes[0];
    }
}

TEST(StreamConvolver, KernelChangesCrossfadeOntoTheKeptHistory) {
    const auto x = test::Noise(560000, 1000.0, 17);
    // B no longer than A, so A's history covers all of B.
    const SparseKernel shortA = MakeKernel(1500, {}, 4), shortB = MakeKernel(700, {}, 5);
    const auto a = Load(shortA), a2 = Load(shortA), b = Load(shortB);
    auto changeAt = [](StreamConvolver& stream, int64_t at, const ConvolutionKernel* next,
                       std::unique_ptr<ConvolutionHistory>& history) {
        return [&stream, at, next, &history](int64_t fed) {
            if (fed >= at && !history) {
                history = StreamConvolver::PlanHistory(stream.Shape(), next);
                stream.Change(next, *history);
            }
        };
    };
    StreamConvolver plain(kConvolutionLevels, 1024);
    Play(plain, a.get());
    const auto y = Stream(plain, x, {576});

    // The same kernel again: the crossfade cannot be heard.
    {
        StreamConvolver stream(kConvolutionLevels, 1024);
        Play(stream, a.get());
        std::unique_ptr<ConvolutionHistory> history;
        EXPECT_EQ(Stream(stream, x, {576}, changeAt(stream, 100000, a2.get(), history)), y);
    }
    // Head-only kernels: from the head block after the change, the new
    // kernel's output comes up along a raised cosine over 1024 frames.
    {
        StreamConvolver stream(kConvolutionLevels, 1024);
        Play(stream, a.get());
        std::unique_ptr<ConvolutionHistory> history;
        const auto z = Stream(stream, x, {576}, changeAt(stream, 100000, b.get(), history));
        const int64_t start = 100224 / 256 * 256;   // the first call at or after 100000 ends at 100224
        for (int64_t t = 90000; t < 110000; ++t) {
            const double g = t < start ? 0.0 : (t >= start + 1024 ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * (t - start + 0.5) / 1024));
            ASSERT_NEAR(z[t], (1 - g) * shortA.At(x, t) + g * shortB.At(x, t), 1e-9) << t;
        }
    }
    // Long kernels, growing then shrinking: once every level has switched,
    // the output is the new kernel's convolution of the whole stream, the
    // part the old history did not reach (ages beyond the old kernel) filled
    // again as the stream goes on.
    const SparseKernel longC = MakeKernel(300, {5000, 150000}, 6), longD = MakeKernel(300, {3000, 70000}, 7);
    const auto c = Load(longC), d = Load(longD);
    StreamConvolver stream(kConvolutionLevels, 1024);
    Play(stream, a.get());
    std::unique_ptr<ConvolutionHistory> toC, toD;
    auto changes = changeAt(stream, 20000, c.get(), toC);
    auto later = changeAt(stream, 360000, d.get(), toD);
    const auto w = Stream(stream, x, {1000}, [&](int64_t fed) {
        changes(fed);
        if (!stream.Changing()) later(fed);
    });
    for (int64_t t = 20000 + 150000 + 2 * 65536; t < 359000; t += 7) ASSERT_NEAR(w[t], longC.At(x, t), 1e-8) << t;
    for (int64_t t = 360000 + 2 * 65536 + 1000; t < static_cast<int64_t>(w.size()); t += 7)
        ASSERT_NEAR(w[t], longD.At(x, t), 1e-8) << t;
    EXPECT_FALSE(stream.Changing());
}

TEST(StreamConvolver, ResetStartsAFreshStream) {
    const SparseKernel k = MakeKernel(400, {5000}, 8);
    const auto kernel = Load(k);
    const auto x = test::Noise(30000, 1000.0, 9);
    StreamConvolver stream(kConvolutionLevels, 1024);
    Play(stream, kernel.get());
    const auto first = Stream(stream, x, {333});
    stream.Reset();
    EXPECT_EQ(Stream(stream, x, {333}), first);
}

TEST(StreamConvolver, VectorMultiplyAddsEqualThePlainLoop) {
    const int32_t bins = 516;
    const auto v = test::Noise(4 * bins, 3.0, 10);
    const std::vector<float> f(v.begin(), v.end());
    // Double and single-precision spectra, from bin `begin` on, into an
    // accumulator that already holds something.
    auto check = [&](const auto* k, int32_t begin) {
        const auto* x = k + 2 * bins;
        std::vector<double> fast(2 * bins, 0.5), plain(fast), wide(fast);
        MultiplyAdd(k, k + bins, x, x + bins, fast.data(), fast.data() + bins, begin, bins);
        MultiplyAddReference(k, k + bins, x, x + bins, plain.data(), plain.data() + bins, begin, bins);
        EXPECT_EQ(fast, plain) << begin;
        EXPECT_EQ(plain[0] == 0.5, begin > 0);   // below the range: untouched
        if (!MultiplyAddAvx2Usable()) return;
        MultiplyAddAvx2(k, k + bins, x, x + bins, wide.data(), wide.data() + bins, begin, bins);
        EXPECT_EQ(wide, plain) << begin;
    };
    check(v.data(), 4);
    check(f.data(), 0);
}

}  // namespace
}  // namespace orve
