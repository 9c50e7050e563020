#include "effects/spatial/modal_reverb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "plugin/effect_factory.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int kRate = 44100;
// With 576-frame blocks and 2048-sample partitions the delivered stream trails
// the input by 1984 samples once it starts (the eighth block).
constexpr int kLatency = 1984;
constexpr int kFirstDelivered = 7 * 576;

std::unique_ptr<ModalReverb> MakeReverb(int channels, const std::vector<double>& knobs) {
    auto r = std::make_unique<ModalReverb>(kRate, channels);
    r->UseFixedTailSeed(77);
    if (!knobs.empty()) r->SetParameters(knobs.data());
    return r;
}

// An impulse on every channel at `at`, inside `frames` frames of silence.
std::vector<double> Impulse(int frames, int channels, int at, double amplitude = 10000.0) {
    std::vector<double> x(static_cast<size_t>(frames) * channels, 0.0);
    for (int c = 0; c < channels; ++c) x[static_cast<size_t>(at) * channels + c] = amplitude;
    return x;
}

TEST(ModalReverbSignal, DirectSoundArrivesAtItsPathDelay) {
    // Direct sound only: the response is one impulse of 0.1 at the direct delay.
    auto r = MakeReverb(2, {2.0, 0.85, 1.0, 0.0, 0.0});
    const int at = 5000;
    const auto y = test::RunBlocks(*r, Impulse(20000, 2, at), 2, 576);
    ASSERT_EQ(y.size(), 40000u);
    const int direct[2] = {r->Response(0)->DirectIndex(), r->Response(1)->DirectIndex()};
    EXPECT_EQ(direct[0], 1242);
    EXPECT_EQ(direct[1], 1334);
    for (int c = 0; c < 2; ++c) {
        const int expectedFrame = at + kLatency + direct[c];
        for (int f = 0; f < 20000; ++f) {
            const double v = y[2 * f + c];
            if (f == expectedFrame) EXPECT_NEAR(v, 1000.0, 1e-6);
            else ASSERT_NEAR(v, 0.0, 1e-6) << "channel " << c << " frame " << f;
        }
    }
}

TEST(ModalReverbSignal, FactoryBuildsTheDefaultRoomWithEqualRatios) {
    // Until the window sends knob values the catalogue's reverb plays the
    // Size 2 room with 0.33 of each part: a direct impulse of 0.033.
    auto r = MakeEffect(EffectId::ModalReverb, {kRate, 2, nullptr, nullptr});
    const int at = 3000;
    const auto y = test::RunBlocks(*r, Impulse(9000, 2, at), 2, 576);
    EXPECT_NEAR(y[2 * (at + kLatency + 1242)], 330.0, 1e-6);
    EXPECT_NEAR(y[2 * (at + kLatency + 1334) + 1], 330.0, 1e-6);
}

TEST(ModalReverbSignal, ImpulseResponseIsFiniteAndDecays) {
    for (const std::vector<double>& knobs :
         {std::vector<double>{2.0, 0.85, 0.2, 0.3, 0.5}, std::vector<double>{8.0, 0.8, 0.3, 0.35, 0.35}}) {
        auto r = MakeReverb(2, knobs);
        const int at = 5000, frames = at + kLatency + static_cast<int>(2.6 * kRate) + 44100;
        const auto y = test::RunBlocks(*r, Impulse(frames, 2, at), 2, 576);
        const int start = at + kLatency;
        for (double v : y) ASSERT_TRUE(std::isfinite(v));
        const double length = r->Response(0)->ResponseLength();
        for (int c = 0; c < 2; ++c) {
            // Energy in successive fifths of the response falls steadily.
            double previous = HUGE_VAL;
            for (int k = 1; k < 5; ++k) {
                const size_t first = static_cast<size_t>(start + k * length / 5);
                const double e = test::Rms(y, 2 * first + c, 2, static_cast<size_t>(length / 5));
                EXPECT_LT(e, previous) << "fifth " << k;
                previous = e;
            }
            // After the response has ended only silence is left.
            EXPECT_LT(test::Rms(y, 2 * static_cast<size_t>(start + length + 10) + c, 2), 0.05);
        }
    }
}

TEST(ModalReverbChannels, MonoAndWideStreams) {
    auto mono = MakeReverb(1, {});
    EXPECT_NE(mono->Response(0), nullptr);
    EXPECT_EQ(mono->Response(1), nullptr);
    // A third channel has no listening point and passes unchanged.
    auto wide = MakeReverb(3, {});
    const auto x = test::Noise(3 * 10000, 5000.0, 5);
    const auto y = test::RunBlocks(*wide, x, 3, 576, 7);
    for (size_t f = 0; f < 10000; ++f) ASSERT_EQ(y[3 * f + 2], x[3 * f + 2]);
    EXPECT_GT(test::Rms(y, 3 * kFirstDelivered, 3), 1.0);
}

TEST(ModalReverbControls, ParametersApplyAtTheNextBlockOnce) {
    auto r = MakeReverb(2, {});
    const int before = r->Response(0)->ResponseLength();   // construction values: Size 2
    r->SetParameters(std::vector<double>{8.0, 0.8, 0.3, 0.35, 0.35}.data());
    r->SetParameters(std::vector<double>{4.0, 0.85, 0.2, 0.3, 0.5}.data());
    EXPECT_EQ(r->Response(0)->ResponseLength(), before);   // nothing computed yet
    std::vector<double> block(2 * 576, 0.0);
    r->ProcessBlock(block.data(), block.data(), 1152, 1152, 3);
    // Size 4 doubles the room, so its reverberation time.
    EXPECT_NEAR(r->Response(0)->ReverbSeconds(), 2 * 0.7076, 1e-3);
    EXPECT_FALSE(r->Response(0)->Convolver().Primed());
}

TEST(ModalReverbControls, LargestRoomBuildsAndPlays) {
    // Size 12 and RefC 0.99: a reverberation time of about 69 s, hundreds of
    // partitions even at 8000 Hz, rebuilt inside one block.
    ModalReverb r(8000, 2);
    r.UseFixedTailSeed(5);
    r.SetParameters(std::vector<double>{12.0, 0.99, 0.2, 0.3, 0.5}.data());
    const auto x = test::Noise(2 * 8 * 1024, 5000.0, 9);
    const auto y = test::RunBlocks(r, x, 2, 1024);
    for (int c = 0; c < 2; ++c) {
        const RoomResponse* room = r.Response(c);
        EXPECT_NEAR(room->ReverbSeconds(), 68.7, 0.1);
        EXPECT_EQ(room->Convolver().PartitionCount(), (room->ResponseLength() + 2047) / 2048);
    }
    for (double v : y) ASSERT_TRUE(std::isfinite(v));
    EXPECT_GT(test::Rms(y, 2 * 6 * 1024), 1.0);
}

TEST(ModalReverbControls, ResetEmptiesQueuesAndSilences) {
    auto r = MakeReverb(2, {});
    const auto x = test::Noise(2 * 10000, 5000.0, 6);
    test::RunBlocks(*r, x, 2, 576);
    EXPECT_EQ(r->Reset(), 0);
    EXPECT_EQ(r->Response(0)->Convolver().OutputCount(), 0);
    EXPECT_EQ(r->Response(0)->Convolver().InputCount(), 0);
    const auto y = test::RunBlocks(*r, x, 2, 576);
    for (int i = 0; i < 2 * kFirstDelivered; ++i) ASSERT_EQ(y[i], 0.0);
}

}  // namespace
}  // namespace orve
