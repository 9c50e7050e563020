#include "dsp/channel_effect.h"

#include <gtest/gtest.h>

#include <vector>

namespace orve {
namespace {

// Scales each enabled channel by (channel + 2), so planes can be told apart.
class PlaneScaler : public ChannelEffect {
public:
    using ChannelEffect::ChannelEffect;
    int calls = 0;
    void ProcessChannels(int32_t mask) override {
        ++calls;
        for (int c = 0; c < channels; ++c) {
            const double* in = InputPlane(c);
            double* out = OutputPlane(c);
            const double factor = ChannelEnabled(mask, c) ? c + 2 : 1;
            for (int f = 0; f < OutputFrames() && f < InputFrames(); ++f) out[f] = in[f] * factor;
        }
    }
};

TEST(ChannelEffect, PlanesCarryOneChannelEachInPlace) {
    PlaneScaler effect(3, 4);
    std::vector<double> block = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    EXPECT_EQ(effect.ProcessBlock(block.data(), block.data(), 12, 12, 0b101), 12);
    // Channel 0 (bit 1) and channel 2 (bit 3 -> (2+1)&5 != 0) enabled; channel 1 not.
    EXPECT_EQ(block, (std::vector<double>{2, 1, 4, 4, 2, 8, 6, 3, 12, 8, 4, 16}));
}

TEST(ChannelEffect, TrailingPartialFrameIsIgnoredAndOutputFillsWholeFrames) {
    PlaneScaler effect(2, 0);
    std::vector<double> in = {1, 2, 3, 4, 5};
    std::vector<double> out(7, -1.0);
    EXPECT_EQ(effect.ProcessBlock(in.data(), out.data(), 5, 7, 0), 6);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[3], 4);
    EXPECT_EQ(out[6], -1.0);
}

TEST(ChannelEffect, EmptyBlockStillCallsTheEffect) {
    PlaneScaler effect(2, 10);
    std::vector<double> out(4, -1.0);
    EXPECT_EQ(effect.ProcessBlock(out.data(), out.data(), 0, 4, 3), 4);
    EXPECT_EQ(effect.calls, 1);
}

}  // namespace
}  // namespace orve
