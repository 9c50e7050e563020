#include "effects/spatial/virtual_3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/embedded_kernels.h"
#include "support/test_signals.h"

namespace orve {
namespace {

const int16_t* Responses() {
    static EmbeddedKernels source;   // data of the program image: lives as long as the test
    return source.Find(121, nullptr);
}

int32_t RowPairOf(double azimuthIndex, double elevationIndex) {
    return static_cast<int32_t>(azimuthIndex) * kHrirElevations + static_cast<int32_t>(elevationIndex);
}

const double* PresetValues(Virtual3D& effect, const std::string& name) {
    const EffectPreset* presets = nullptr;
    const int32_t count = effect.GetPresets(&presets);
    for (int32_t i = 0; i < count; ++i)
        if (name == presets[i].name) return presets[i].values;
    ADD_FAILURE() << "no preset " << name;
    return nullptr;
}

// Applies knob values and runs one short block so the audio thread picks them up.
int32_t SelectedRow(Virtual3D& effect, double azim, double elev, double both) {
    const double values[3] = {azim, elev, both};
    effect.SetParameters(values);
    std::vector<double> block(2 * 16, 0.0);
    effect.ProcessBlock(block.data(), block.data(), 32, 32, 3);
    return effect.RowPair();
}

TEST(Virtual3DGrid, PresetsSelectTheirGridPoints) {
    Virtual3D effect(44100, Responses(), 0.0, 0.0);
    EXPECT_EQ(effect.RowPair(), RowPairOf(12, 8));   // built ahead
    EXPECT_EQ(effect.PresetCount(), 7);
    const double* left = PresetValues(effect, "Left");
    EXPECT_EQ(SelectedRow(effect, left[1], left[2], left[3]), 8);
    const double* below = PresetValues(effect, "Below");
    EXPECT_EQ(SelectedRow(effect, below[1], below[2], below[3]), RowPairOf(12, 49));
    const double* overhead = PresetValues(effect, "OverHead");
    EXPECT_EQ(SelectedRow(effect, overhead[1], overhead[2], overhead[3]), RowPairOf(12, 24));
}

TEST(Virtual3DGrid, TiesGoToTheLowerGridValue) {
    Virtual3D effect(44100, Responses(), 0.0, 0.0);
    EXPECT_EQ(SelectedRow(effect, 0.0, 2.8125, 0.0), RowPairOf(12, 8));   // between 0 and 5.625
    EXPECT_EQ(SelectedRow(effect, 50.0, 0.0, 0.0), RowPairOf(21, 8));     // between 45 and 55
    EXPECT_EQ(SelectedRow(effect, -72.5, 0.0, 0.0), RowPairOf(0, 8));     // between -80 and -65
}

TEST(Virtual3DGrid, BothSweepsAroundTheHead) {
    Virtual3D effect(44100, Responses(), 0.0, 0.0);
    EXPECT_EQ(SelectedRow(effect, 0.0, 0.0, 0.5), RowPairOf(12, 32));
    EXPECT_DOUBLE_EQ(effect.Azimuth(), 0.0);
    EXPECT_DOUBLE_EQ(effect.Elevation(), 137.8125);
    SelectedRow(effect, 0.0, 0.0, 0.25);
    EXPECT_DOUBLE_EQ(effect.Azimuth(), 80.0);
    SelectedRow(effect, 0.0, 0.0, 0.75);
    EXPECT_DOUBLE_EQ(effect.Azimuth(), -80.0);
    SelectedRow(effect, 0.0, 0.0, 1.0);
    EXPECT_NEAR(effect.Azimuth(), 0.0, 1e-9);
    EXPECT_NEAR(effect.Elevation(), 0.0, 1e-9);
    // Back to zero: the requested direction rules again.
    EXPECT_EQ(SelectedRow(effect, -80.0, 0.0, 0.0), 8);
}

TEST(Virtual3DStream, OutputIsAlignedAndHeldBackByTheLatency) {
    const int16_t* rows = Responses();
    Virtual3D effect(44100, rows, 0.0, 0.0);
    EXPECT_EQ(effect.Latency(), 255);
    // An impulse at stream sample 300 (left) and 301 (right).
    std::vector<double> input(2 * 576 * 4, 0.0);
    input[2 * 300] = 10000.0;
    input[2 * 301 + 1] = 10000.0;
    const std::vector<double> out = test::RunBlocks(effect, input, 2, 576);
    ASSERT_EQ(out.size(), input.size() - 2 * 255);
    const int32_t frontal = 2 * RowPairOf(12, 8);
    for (int k = 0; k < kHrirTaps; ++k) {
        EXPECT_NEAR(out[2 * (300 + k)], 10000.0 * rows[frontal * kHrirTaps + k] / 32768.0, 1e-6) << k;
        EXPECT_NEAR(out[2 * (301 + k) + 1], 10000.0 * rows[(frontal + 1) * kHrirTaps + k] / 32768.0, 1e-6) << k;
    }
    for (int f = 0; f < 300; ++f) ASSERT_NEAR(out[2 * f], 0.0, 1e-9) << f;
}

TEST(Virtual3DStream, DirectionChangesWithoutAGap) {
    Virtual3D effect(44100, Responses(), 0.0, 0.0);
    const std::vector<double> tone = test::Sine(500.0, 44100.0, 576 * 12, 2, 8000.0);
    std::vector<double> out;
    std::vector<double> block(2 * 576);
    for (int call = 0; call < 12; ++call) {
        if (call == 6) {
            const double values[3] = {-80.0, 0.0, 0.0};
            effect.SetParameters(values);
        }
        std::copy(tone.begin() + call * 2 * 576, tone.begin() + (call + 1) * 2 * 576, block.begin());
        effect.ProcessBlock(block.data(), block.data(), 2 * 576, 2 * 576, 3);
        if (call >= 1) {
            EXPECT_GT(test::Rms(block, 0, 2), 1000.0) << "call " << call;
        }
    }
}

TEST(Virtual3DChannels, MonoHearsBothEarsAndExtraChannelsPassThrough) {
    const int16_t* rows = Responses();
    // An impulse comes out as the mean of the two ears' responses.
    {
        Virtual3D mono(44100, rows, -80.0, 0.0, nullptr, 1);
        std::vector<double> input(576 * 3, 0.0);
        input[300] = 10000.0;
        const std::vector<double> out = test::RunBlocks(mono, input, 1, 576);
        for (int k = 0; k < kHrirTaps; ++k)
            ASSERT_NEAR(out[300 + k], 5000.0 * (rows[8 * 2 * kHrirTaps + k] + rows[(8 * 2 + 1) * kHrirTaps + k]) / 32768.0,
                        1e-6)
                << k;
    }
    // Hard left and hard right are equally loud on a mono stream.
    double level[2];
    for (int side = 0; side < 2; ++side) {
        Virtual3D mono(44100, rows, side ? 80.0 : -80.0, 0.0, nullptr, 1);
        const std::vector<double> out = test::RunBlocks(mono, test::Noise(44100, 8000.0, 7), 1, 576);
        level[side] = test::Rms(out, 1152);
    }
    EXPECT_NEAR(20.0 * std::log10(level[1] / level[0]), 0.0, 1.0);

    Virtual3D surround(44100, rows, 0.0, 0.0, nullptr, 3);
    const std::vector<double> input = test::Noise(3 * 576 * 3, 1000.0, 3);
    const std::vector<double> out = test::RunBlocks(surround, input, 3, 576);
    ASSERT_EQ(out.size(), input.size() - 3 * 255);
    for (size_t f = 0; f < out.size() / 3; ++f) ASSERT_EQ(out[3 * f + 2], input[3 * f + 2]);
    EXPECT_GT(test::Rms(out, 3 * 576, 3), 100.0);
}

}  // namespace
}  // namespace orve
