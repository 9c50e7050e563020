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

// Whether an impulse on the left comes out, once the direction has settled,
// as the left response of grid point `pair` (neighbouring points of the set
// can hold the same measurement).
bool PlaysRowPair(const double values[3], int32_t pair) {
    const int16_t* rows = Responses();
    Virtual3D effect(44100, rows, 0.0, 0.0);
    effect.SetParameters(values);
    const int32_t at = 576 * 4 + 100;
    std::vector<double> input(2 * 576 * 6, 0.0);
    input[2 * at] = 32768.0;
    const std::vector<double> out = test::RunBlocks(effect, input, 2, 576);
    for (int32_t k = 0; k < kHrirTaps; ++k)
        if (std::fabs(out[2 * (at + k)] - rows[2 * pair * kHrirTaps + k]) > 1e-6) return false;
    return true;
}

TEST(Virtual3DGrid, KnobsAndPresetsSelectTheirGridPoints) {
    Virtual3D effect(44100, Responses(), 0.0, 0.0);
    const EffectPreset* presets = nullptr;
    const int32_t count = effect.GetPresets(&presets);
    const struct {
        const char* preset;   // or the knob values below
        double azimuth, elevation, both;
        int32_t pair;
    } cases[] = {
        {"Left", 0, 0, 0, RowPairOf(0, 8)},       {"Below", 0, 0, 0, RowPairOf(12, 49)},
        {"OverHead", 0, 0, 0, RowPairOf(12, 24)}, {nullptr, 0.0, 0.0, 0.0, RowPairOf(12, 8)},
        // Ties go to the lower grid value.
        {nullptr, 0.0, 2.8125, 0.0, RowPairOf(12, 8)},   // between 0 and 5.625
        {nullptr, 50.0, 0.0, 0.0, RowPairOf(21, 8)},     // between 45 and 55
        {nullptr, -72.5, 0.0, 0.0, RowPairOf(0, 8)},     // between -80 and -65
        // "Both" runs once around the head, out to the right and over the top.
        {nullptr, 0.0, 0.0, 0.25, RowPairOf(24, 20)},   {nullptr, 0.0, 0.0, 0.5, RowPairOf(12, 32)},
        {nullptr, 0.0, 0.0, 0.75, RowPairOf(0, 45)},    {nullptr, 0.0, 0.0, 1.0, RowPairOf(12, 8)},
    };
    for (const auto& c : cases) {
        const double knobs[3] = {c.azimuth, c.elevation, c.both};
        const double* values = knobs;
        for (int32_t i = 0; c.preset && i < count; ++i)
            if (std::string(c.preset) == presets[i].name) values = presets[i].values + 1;
        EXPECT_TRUE(PlaysRowPair(values, c.pair)) << c.pair << " " << (c.preset ? c.preset : "") << " " << values[0] << " " << values[1]
                                                << " " << values[2];
    }
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

TEST(Virtual3DChannels, MonoHearsBothEars) {
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

}

}  // namespace
}  // namespace orve
