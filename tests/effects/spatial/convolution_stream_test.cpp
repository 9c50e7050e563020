// The convolution effects in a player's hands: thousands of blocks of the
// sizes players use, and of random sizes, with knob and room changes along
// the way. From its first call each returns exactly the frames it has taken
// minus its latency, and no block comes back silent or repeated.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "platform/posix/embedded_kernels.h"
#include "plugin/effect_factory.h"
#include "support/test_signals.h"

namespace orve {
namespace {

struct Case {
    const char* name;
    EffectId effectId;
    std::vector<int32_t> blockFrames;   // cycled; 0 = random 1..2048
};

class ConvolutionStream : public testing::TestWithParam<Case> {};

TEST_P(ConvolutionStream, NeverStarvesNorRepeatsAcrossChanges) {
    const Case& c = GetParam();
    static EmbeddedKernels kernels;
    std::unique_ptr<EffectProcessor> effect = MakeEffect(c.effectId, {44100, 2, &kernels, nullptr});
    KnobSpec knobs[kMaxKnobs];
    const int32_t knobCount = effect->DescribeKnobs(knobs);
    std::vector<double> values(knobCount);
    for (int32_t k = 0; k < knobCount; ++k) values[k] = knobs[k].defaultValue;
    effect->SetParameters(values.data());

    std::mt19937 random(7);
    const auto noise = test::Noise(2 * 8192, 8000.0, 3);
    std::vector<double> block(2 * 4096), previous;
    const int32_t latency = effect->Latency();
    int64_t fed = 0, delivered = 0;
    for (int call = 0; call < 1500; ++call) {
        if (call % 200 == 100) {
            // Every knob to a new place in the lower half of its range (the
            // largest rooms are for the benchmarks), as a user might.
            for (int32_t k = 0; k < knobCount; ++k)
                values[k] = KnobValueAt(knobs[k], 5000 + static_cast<int>(random() % 5000));
            effect->SetParameters(values.data());
        }
        int32_t frames = c.blockFrames[call % c.blockFrames.size()];
        if (frames == 0) frames = 1 + static_cast<int32_t>(random() % 2048);
        const int32_t offset = static_cast<int32_t>(random() % 4096);
        std::copy(noise.begin() + 2 * offset, noise.begin() + 2 * (offset + frames), block.begin());
        RunWorkNow(*effect);
        const int32_t got = effect->ProcessBlock(block.data(), block.data(), 2 * frames, 2 * frames, 3) / 2;
        fed += frames;
        ASSERT_EQ(delivered + got, std::max<int64_t>(0, fed - latency)) << "call " << call;
        delivered += got;
        // Past the direct sound's way to the listener (4000 frames at most
        // in the rooms visited here), every block carries sound.
        if (got < 64 || delivered < 8192) continue;
        const std::vector<double> out(block.begin(), block.begin() + 2 * got);
        ASSERT_GT(test::Rms(out), 100.0) << "silent call " << call;
        ASSERT_NE(out, previous) << "repeated call " << call;
        previous = out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    PlayerBlocks, ConvolutionStream,
    testing::Values(Case{"ModalReverb", EffectId::ModalReverb, {441, 480, 576, 882, 1000, 1152}}, Case{"ModalReverbRandom", EffectId::ModalReverb, {0}},
                    Case{"SampleReverb", EffectId::SampleReverb, {441, 480, 576, 882, 1000, 1152}}, Case{"SampleReverbRandom", EffectId::SampleReverb, {0}},
                    Case{"Virtual3D", EffectId::Virtual3D, {441, 480, 576, 882, 1000, 1152}}, Case{"Virtual3DRandom", EffectId::Virtual3D, {0}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orve
