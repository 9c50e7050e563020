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

std::unique_ptr<ModalReverb> MakeReverb(int channels, const std::vector<double>& knobs, double rate = kRate) {
    auto r = std::make_unique<ModalReverb>(rate, channels, 77u);
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
    // Direct sound only: the response is one impulse of 0.1 at the direct
    // delay, and the stream comes out aligned with the input, shorter by the
    // frames still held back.
    auto r = MakeReverb(2, {2.0, 0.85, 1.0, 0.0, 0.0});
    EXPECT_EQ(r->Latency(), 255);
    const int at = 5000;
    const auto y = test::RunBlocks(*r, Impulse(20000, 2, at), 2, 576);
    ASSERT_EQ(y.size(), 2u * (20000 - 255));
    const int direct[2] = {r->Room(0).directIndex, r->Room(1).directIndex};
    EXPECT_EQ(direct[0], 1242);
    EXPECT_EQ(direct[1], 1334);
    for (int c = 0; c < 2; ++c)
        for (int f = 0; f < 20000 - 255; ++f)
            ASSERT_NEAR(y[2 * f + c], f == at + direct[c] ? 1000.0 : 0.0, 1e-6) << "channel " << c << " frame " << f;
}

TEST(ModalReverbSignal, FactoryBuildsTheDefaultRoomWithEqualRatios) {
    // Until the window sends knob values the catalogue's reverb plays the
    // Size 2 room with 0.33 of each part: a direct impulse of 0.033.
    auto r = MakeEffect(EffectId::ModalReverb, {kRate, 2, nullptr, nullptr});
    const int at = 3000;
    const auto y = test::RunBlocks(*r, Impulse(9000, 2, at), 2, 576);
    EXPECT_NEAR(y[2 * (at + 1242)], 330.0, 1e-6);
    EXPECT_NEAR(y[2 * (at + 1334) + 1], 330.0, 1e-6);
}

TEST(ModalReverbSignal, ImpulseResponseIsFiniteAndDecays) {
    for (const std::vector<double>& knobs :
         {std::vector<double>{2.0, 0.85, 0.2, 0.3, 0.5}, std::vector<double>{8.0, 0.8, 0.3, 0.35, 0.35}}) {
        auto r = MakeReverb(2, knobs);
        const int at = 5000, frames = at + static_cast<int>(2.6 * kRate) + 44100;
        const auto y = test::RunBlocks(*r, Impulse(frames, 2, at), 2, 576);
        for (double v : y) ASSERT_TRUE(std::isfinite(v));
        const double length = r->Room(0).responseLength;
        for (int c = 0; c < 2; ++c) {
            // Energy in successive fifths of the response falls steadily.
            double previous = HUGE_VAL;
            for (int k = 1; k < 5; ++k) {
                const size_t first = static_cast<size_t>(at + k * length / 5);
                const double e = test::Rms(y, 2 * first + c, 2, static_cast<size_t>(length / 5));
                EXPECT_LT(e, previous) << "fifth " << k;
                previous = e;
            }
            // After the response has ended only silence is left.
            EXPECT_LT(test::Rms(y, 2 * static_cast<size_t>(at + length + 10) + c, 2), 0.05);
        }
    }
}

TEST(ModalReverbControls, KnobChangesAreBuiltAsWorkAndSwappedInAtABlock) {
    auto r = MakeReverb(2, {});
    const double before = r->Room(0).reverbSeconds;   // construction values: Size 2
    r->SetParameters(std::vector<double>{8.0, 0.8, 0.3, 0.35, 0.35}.data());
    r->SetParameters(std::vector<double>{4.0, 0.85, 0.2, 0.3, 0.5}.data());
    std::vector<double> block(2 * 576, 100.0);
    r->ProcessBlock(block.data(), block.data(), 1152, 1152, 3);
    EXPECT_EQ(r->Room(0).reverbSeconds, before);   // nothing built on the audio thread
    // One build, for the latest values; it plays from the next block.
    std::unique_ptr<EffectWork> work = r->TakeWork();
    ASSERT_TRUE(work != nullptr);
    EXPECT_TRUE(r->TakeWork() == nullptr);   // one piece of work out at a time
    work->Run();
    EXPECT_TRUE(r->FinishWork(std::move(work)) == nullptr);
    r->ProcessBlock(block.data(), block.data(), 1152, 1152, 3);
    // Size 4 doubles the room, so its reverberation time.
    EXPECT_NEAR(r->Room(0).reverbSeconds, 2 * 0.7076, 1e-3);
    auto mono = MakeReverb(1, {});
    EXPECT_EQ(mono->Room(1).responseLength, 0);   // one ear only
    // Work of another effect is handed back, not adopted.
    auto other = MakeReverb(2, {});
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
    const auto x = test::Noise(2 * 8 * 1024, 5000.0, 9);
    const auto y = test::RunBlocks(*r, x, 2, 1024);
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(r->Room(c).reverbSeconds, 68.7, 0.1);
        const int32_t last = r->Kernel(c)->Levels() - 1;
        EXPECT_GT(r->Kernel(c)->Partitions(last), r->Kernel(c)->NearPartitions(last));
    }
    for (double v : y) ASSERT_TRUE(std::isfinite(v));
    EXPECT_GT(test::Rms(y, 2 * 6 * 1024), 1.0);
}

TEST(ModalReverbControls, ResetStartsTheStreamAgain) {
    auto r = MakeReverb(2, {});
    const auto x = test::Noise(2 * 10000, 5000.0, 6);
    const auto first = test::RunBlocks(*r, x, 2, 576);
    EXPECT_EQ(r->Reset(), 0);
    const auto second = test::RunBlocks(*r, x, 2, 576);
    EXPECT_EQ(second, first);
}

}  // namespace
}  // namespace orve
