#include "dsp/partitioned_convolver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

// Feeds `input` in calls of `callSize` samples (the last call may be shorter)
// and returns every delivered sample in order, plus the per-call results.
std::vector<double> Stream(PartitionedConvolver& conv, const std::vector<double>& input, int callSize,
                           std::vector<int>* results = nullptr) {
    std::vector<double> delivered, out(callSize);
    for (size_t start = 0; start < input.size(); start += callSize) {
        const int n = static_cast<int>(std::min<size_t>(callSize, input.size() - start));
        const int got = conv.Convolve(input.data() + start, out.data(), n, n);
        if (results) results->push_back(got);
        delivered.insert(delivered.end(), out.begin(), out.begin() + got);
    }
    return delivered;
}

std::vector<double> Ramp(int count) {
    std::vector<double> x(count);
    for (int i = 0; i < count; ++i) x[i] = i + 1.0;
    return x;
}

TEST(PartitionedConvolverKernel, MatchesDirectConvolutionOfRandomSignal) {
    const int B = 64;
    const auto h = test::Noise(5 * B - 7, 1.0, 3);
    const auto x = test::Noise(4000, 1.0, 11);
    std::vector<double> direct(x.size(), 0.0);
    for (size_t n = 0; n < x.size(); ++n)
        for (size_t k = 0; k < h.size() && k <= n; ++k) direct[n] += h[k] * x[n - k];

    PartitionedConvolver conv(B, static_cast<int32_t>(h.size()), h.data());
    EXPECT_EQ(conv.PartitionCount(), 5);
    // Irregular call sizes exercise the queues.
    std::vector<double> delivered, out(200);
    size_t start = 0;
    for (int call = 0; start < x.size(); ++call) {
        const int n = static_cast<int>(std::min<size_t>(1 + (call * 37) % 150, x.size() - start));
        const int got = conv.Convolve(x.data() + start, out.data(), n, n);
        delivered.insert(delivered.end(), out.begin(), out.begin() + got);
        start += n;
    }
    ASSERT_GT(delivered.size(), 3500u);
    double worst = 0.0;
    for (size_t i = 0; i < delivered.size(); ++i) worst = std::max(worst, std::abs(delivered[i] - direct[B + i]));
    EXPECT_LT(worst, 1e-10);
}

TEST(PartitionedConvolverTiming, CallsOf576WithBlocksOf2048) {
    const double one = 1.0;
    PartitionedConvolver conv(2048, 1, &one);
    const auto x = Ramp(576 * 20);
    std::vector<int> results;
    const auto y = Stream(conv, x, 576, &results);
    for (int call = 0; call < 7; ++call) EXPECT_EQ(results[call], 0) << call;
    for (size_t call = 7; call < results.size(); ++call) EXPECT_EQ(results[call], 576) << call;
    // The eighth call (input 4032..4607) returns stream samples 2048..2623: a
    // constant lag of 1984 samples from then on.
    ASSERT_GE(y.size(), 576u);
    EXPECT_NEAR(y[0], x[2048], 1e-6);
    EXPECT_NEAR(y[575], x[2623], 1e-6);
    for (size_t i = 0; i < y.size(); ++i) ASSERT_NEAR(y[i], x[2048 + i], 1e-6);
}

TEST(PartitionedConvolverTiming, ShortageLeavesOutputUntouched) {
    const double one = 1.0;
    PartitionedConvolver conv(64, 1, &one);
    const auto x = Ramp(200);
    std::vector<double> out(300, -5.0);
    EXPECT_EQ(conv.Convolve(x.data(), out.data(), 200, 1), 1);   // blocks 0 (dropped), 1, 2 ran
    EXPECT_EQ(conv.OutputCount(), 127);
    EXPECT_EQ(conv.Convolve(x.data(), out.data(), 0, 128), 0);
    EXPECT_NEAR(out[0], x[64], 1e-9);
    for (int i = 1; i < 300; ++i) ASSERT_EQ(out[i], -5.0);
}

TEST(PartitionedConvolverChange, NewKernelCutsOldTailAndSkipsOneBlock) {
    const int B = 64;
    // Old kernel: identity plus a strong echo two blocks later.
    std::vector<double> echo(2 * B + 4, 0.0);
    echo[0] = 1.0;
    echo[2 * B + 3] = 0.5;
    PartitionedConvolver conv(B, static_cast<int32_t>(echo.size()), echo.data());
    const auto x = test::Noise(40 * B, 100.0, 5);
    std::vector<double> out(B), delivered;
    // Ten blocks with the echo kernel, in calls of exactly B.
    for (int i = 0; i < 10; ++i) {
        const int got = conv.Convolve(x.data() + i * B, out.data(), B, B);
        delivered.insert(delivered.end(), out.begin(), out.begin() + got);
    }
    const size_t before = delivered.size();
    const double one = 1.0;
    conv.SetKernel(1, &one);
    EXPECT_EQ(conv.PartitionCount(), 1);
    EXPECT_FALSE(conv.Primed());
    std::vector<int> results;
    for (int i = 10; i < 40; ++i) {
        const int got = conv.Convolve(x.data() + i * B, out.data(), B, B);
        results.push_back(got);
        delivered.insert(delivered.end(), out.begin(), out.begin() + got);
    }
    EXPECT_EQ(results[0], 0);   // the block after the change was discarded
    // Before the change the delivered stream is x*echo from sample B on.
    for (size_t i = 0; i < before; ++i) {
        const size_t n = B + i;
        const double expect = x[n] + (n >= 2 * B + 3 ? 0.5 * x[n - 2 * B - 3] : 0.0);
        ASSERT_NEAR(delivered[i], expect, 1e-9) << i;
    }
    // After it the stream jumps over one block and carries no echo at all.
    for (size_t i = before; i < delivered.size(); ++i) ASSERT_NEAR(delivered[i], x[B + i + B], 1e-9) << i;
}

TEST(PartitionedConvolverChange, NewLongKernelFadesInPartitionByPartition) {
    // The first block run after a change (c) is discarded; block t > c then
    // carries the new kernel's first (t - c + 1) partitions only, applied to
    // the stream as it was, and nothing of the old kernel.
    const int B = 32;
    const auto oldKernel = test::Noise(4 * B, 1.0, 12);
    const auto h = test::Noise(3 * B + 5, 1.0, 13);
    const auto x = test::Noise(30 * B, 1.0, 14);
    PartitionedConvolver conv(B, static_cast<int32_t>(oldKernel.size()), oldKernel.data());
    std::vector<double> out(B);
    // Calls of exactly B: call t runs block t - 1 and delivers it at once.
    const int calls = 12;
    for (int t = 0; t < calls; ++t) conv.Convolve(x.data() + t * B, out.data(), B, B);
    conv.SetKernel(static_cast<int32_t>(h.size()), h.data());
    const int c = calls - 1;
    std::vector<double> delivered;
    for (int t = calls; t < 30; ++t) {
        const int got = conv.Convolve(x.data() + t * B, out.data(), B, B);
        delivered.insert(delivered.end(), out.begin(), out.begin() + got);
    }
    ASSERT_EQ(delivered.size(), static_cast<size_t>((29 - c - 1) * B));
    for (int t = c + 1; t < 29; ++t)
        for (int i = 0; i < B; ++i) {
            const int n = t * B + i;
            const int taps = std::min<int>(static_cast<int>(h.size()), (t - c + 1) * B);
            double expect = 0.0;
            for (int m = 0; m < taps; ++m) expect += h[m] * x[n - m];
            ASSERT_NEAR(delivered[(t - c - 1) * B + i], expect, 1e-10) << t << " " << i;
        }
}

TEST(PartitionedConvolverChange, ResetEmptiesQueuesAndSkipsOneBlock) {
    const double one = 1.0;
    PartitionedConvolver conv(64, 1, &one);
    const auto x = Ramp(1000);
    std::vector<double> out(1000);
    conv.Convolve(x.data(), out.data(), 300, 10);
    EXPECT_GT(conv.OutputCount(), 0);
    conv.Reset();
    EXPECT_EQ(conv.InputCount(), 0);
    EXPECT_EQ(conv.OutputCount(), 0);
    EXPECT_FALSE(conv.Primed());
    // After a reset the next block is again dropped: 65 samples run one
    // block and give no output; 64 more run the next and deliver it.
    EXPECT_EQ(conv.Convolve(x.data(), out.data(), 65, 1), 0);
    EXPECT_EQ(conv.Convolve(x.data() + 65, out.data(), 64, 64), 64);
    EXPECT_NEAR(out[0], x[64], 1e-9);
}

}  // namespace
}  // namespace orve
