// The modal reverb and the room responses it plays. How long each room rings
// is the demo cases' figure (rt60); how the rooms scale with Size and how
// knob changes are built, the worker's tests (plugin/effect_worker_test.cpp).
#include "effects/spatial/modal_reverb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int kRate = 44100;

std::unique_ptr<ModalReverb> MakeReverb(int channels, const std::vector<double>& knobs, double rate = kRate) {
    auto r = std::make_unique<ModalReverb>(rate, channels, 77u);
    if (!knobs.empty()) r->SetParameters(knobs.data());
    RunWorkNow(*r);
    return r;
}

// Energy of a response from tenth `from` of its length to tenth `to`.
double Energy(const RoomResponse& r, int from, int to) {
    double e = 0;
    for (int i = from * r.ResponseLength() / 10; i < to * r.ResponseLength() / 10; ++i) e += r.Response()[i] * r.Response()[i];
    return e;
}

TEST(ModalReverbSignal, DirectSoundArrivesAtItsPathDelayWithNothingBefore) {
    // Direct sound only: the response is one impulse of 0.1 at the direct
    // delay. With reflections and tail as well the direct impulse keeps its
    // share (it is not smoothed) and nothing comes before it. The stream comes
    // out aligned with the input, shorter by the frames still held back.
    for (double direct : {1.0, 0.2}) {
        auto r = MakeReverb(2, {2.0, 0.85, direct, direct == 1.0 ? 0.0 : 0.3, direct == 1.0 ? 0.0 : 0.5});
        EXPECT_EQ(r->Latency(), 255);
        const int at = 5000;
        std::vector<double> impulse(2 * 20000, 0.0);
        impulse[2 * at] = impulse[2 * at + 1] = 10000.0;
        const auto y = test::RunBlocks(*r, impulse, 2, 576);
        ASSERT_EQ(y.size(), 2u * (20000 - 255));
        const int directAt[2] = {r->Room(0).directIndex, r->Room(1).directIndex};
        EXPECT_EQ(directAt[0], 1242);
        EXPECT_EQ(directAt[1], 1334);
        for (int c = 0; c < 2; ++c)
            for (int f = 0; f < (direct == 1.0 ? 20000 - 255 : at + directAt[c] + 1); ++f)
                ASSERT_NEAR(y[2 * f + c], f == at + directAt[c] ? 1000.0 * direct : 0.0, 1e-6) << c << " " << f;
    }
    EXPECT_EQ(MakeReverb(1, {})->Room(1).responseLength, 0);   // one ear only
}

// Work of another effect is handed back, not adopted. (That knob changes are
// built as work, one piece out at a time and for the latest values, is held
// through the audio path in plugin/effect_worker_test.cpp.)
TEST(ModalReverbControls, WorkOfAnotherEffectIsHandedBack) {
    auto r = MakeReverb(2, {}), other = MakeReverb(2, {});
    std::vector<double> block(2 * 576, 100.0);
    other->ProcessBlock(block.data(), block.data(), 1152, 1152, 3);
    other->SetParameters(std::vector<double>{3.0, 0.85, 0.2, 0.3, 0.5}.data());
    std::unique_ptr<EffectWork> foreign = other->TakeWork();
    ASSERT_TRUE(foreign != nullptr);
    EXPECT_TRUE(r->FinishWork(std::move(foreign)) != nullptr);
}

TEST(ModalReverbControls, LargestRoomBuildsAndPlays) {
    // Size 12 and RefC 0.99: a reverberation time of about 69 s, reaching the
    // single-precision far partitions of the kernel's last level.
    auto r = MakeReverb(2, {12.0, 0.99, 0.2, 0.3, 0.5}, 8000);
    const auto y = test::RunBlocks(*r, test::Noise(2 * 8 * 1024, 5000.0, 9), 2, 1024);
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(r->Room(c).reverbSeconds, 68.7, 0.1);
        const int32_t last = r->Kernel(c)->Levels() - 1;
        EXPECT_GT(r->Kernel(c)->Partitions(last), r->Kernel(c)->NearPartitions(last));
    }
    for (double v : y) ASSERT_TRUE(std::isfinite(v));
    EXPECT_GT(test::Rms(y, 2 * 6 * 1024), 1.0);
}

// Over the whole Size and RefC range at the lowest and highest rates, and a
// room a few centimetres across (arrivals less than a sample apart): finite
// responses whose last tenth has died away. Walls that reflect everything
// would never stop ringing; the time is capped.
TEST(RoomResponseBuild, EveryRoomIsFiniteAndDecays) {
    for (double fs : {8000.0, 48000.0})
        for (auto [size, refC] : {std::pair{1.0, 0.1}, {1.0, 0.99}, {12.0, 0.1}, {12.0, 0.99}, {0.01, 0.5}}) {
            SCOPED_TRACE(::testing::Message() << fs << " Hz, Size " << size << ", RefC " << refC);
            RoomGeometry g[2];
            ModalReverb::ChannelGeometries(ModalReverb::BaseRoom(), size, refC, 0.0, 0.13, g);
            RoomResponse r(fs);
            r.SetGeometry(g[0]);
            r.SetRatios(0.2, 0.3, 0.5);
            r.UseFixedSeed(1234);
            r.Rebuild();
            ASSERT_GT(r.ResponseLength(), 0);
            for (int i = 0; i < r.ResponseLength(); ++i) ASSERT_TRUE(std::isfinite(r.Response()[i]));
            EXPECT_LT(Energy(r, 9, 10), 0.01 * Energy(r, 0, 10));
        }
    RoomGeometry closed[2];
    ModalReverb::ChannelGeometries(ModalReverb::BaseRoom(), 1.0, 1.0, 0.0, 0.13, closed);
    RoomResponse c(8000);
    c.SetGeometry(closed[0]);
    c.SetRatios(0.2, 0.3, 0.5);
    c.BuildEarly();
    EXPECT_TRUE(std::isfinite(c.ReverbSeconds()));
    EXPECT_LE(c.ReverbSeconds(), 100.0);
}

}  // namespace
}  // namespace orve
