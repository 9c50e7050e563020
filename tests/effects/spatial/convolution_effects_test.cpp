// The convolution effects: the sampled rooms and the head-related set, each
// held to what its stored responses say, and all three in a player's hands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "effects/spatial/sample_reverb.h"
#include "effects/spatial/virtual_3d.h"
#include "platform/posix/embedded_kernels.h"
#include "plugin/effect_factory.h"
#include "support/test_signals.h"

namespace orve {
namespace {

// A small room set in the stored layout: room t answers with one impulse of
// half scale at value 10 t on the left and a negative one at 10 t + 5 on the
// right, in responses of 3000 values per ear.
constexpr int32_t kHalf = 3000;
std::vector<int16_t> TinyRoomSet() {
    std::vector<int16_t> set(56 + kRoomCount * 2 * kHalf, 0);
    uint32_t offset = 56;
    for (int32_t t = 1; t <= kRoomCount; ++t) {
        const uint32_t length = 2 * kHalf;
        set[4 * (t - 1) + 0] = static_cast<int16_t>(offset & 0xFFFF);
        set[4 * (t - 1) + 1] = static_cast<int16_t>(offset >> 16);
        set[4 * (t - 1) + 2] = static_cast<int16_t>(length & 0xFFFF);
        set[4 * (t - 1) + 3] = static_cast<int16_t>(length >> 16);
        set[offset + 10 * t] = 16384;
        set[offset + kHalf + 10 * t + 5] = -16384;
        offset += length;
    }
    return set;
}

// The room a knob value plays (-1 for none), told from where an impulse on
// both channels comes back: room t's stored impulses 10 t frames later on the
// left and 10 t + 5 on the right, scaled by 0.5 at full scale (and far from
// the fade over the response's last 5 %), nowhere else, aligned with the
// input; the stream is held back by the latency.
int32_t HeardRoom(double value) {
    const std::vector<int16_t> set = TinyRoomSet();
    SampleReverb effect(44100, 2, set.data(), 1);
    effect.SetParameters(&value);
    const int32_t at = 576 * 4;
    std::vector<double> input(2 * 576 * 8, 0.0);
    input[2 * at] = input[2 * at + 1] = 1000.0;
    const auto out = test::RunBlocks(effect, input, 2, 576);
    if (effect.Latency() != 255 || out.size() != input.size() - 2 * 255) return -1;
    for (int32_t t = 1; t <= kRoomCount; ++t) {
        if (std::fabs(out[2 * (at + 10 * t)]) < 1.0) continue;
        for (int32_t f = 0; f < static_cast<int32_t>(out.size() / 2); ++f)
            if (std::fabs(out[2 * f] - (f == at + 10 * t ? 250.0 : 0.0)) > 1e-9 ||
                std::fabs(out[2 * f + 1] - (f == at + 10 * t + 5 ? -250.0 : 0.0)) > 1e-9)
                return -1;
        return t;
    }
    return -1;
}

TEST(SampleReverbRooms, TheKnobSelectsTheRoomByItsWholePart) {
    const std::vector<int16_t> set = TinyRoomSet();
    SampleReverb effect(44100, 2, set.data(), 1);
    KnobSpec knobs[kMaxKnobs];
    ASSERT_EQ(effect.DescribeKnobs(knobs), 1);
    EXPECT_EQ(HeardRoom(KnobValueAt(knobs[0], 0)), 14);
    EXPECT_EQ(HeardRoom(KnobValueAt(knobs[0], kKnobPositionMax)), 1);
    EXPECT_EQ(HeardRoom(3.9), 3);
}

const int16_t* Responses() {
    static EmbeddedKernels source;   // data of the program image: lives as long as the test
    return source.Find(121, nullptr);
}

int32_t RowPairOf(double azimuthIndex, double elevationIndex) {
    return static_cast<int32_t>(azimuthIndex) * kHrirElevations + static_cast<int32_t>(elevationIndex);
}

// Whether impulses on the left and, a frame later, on the right come out,
// once the direction has settled, as the two ears' responses of grid point
// `pair` (neighbouring points of the set can hold the same measurement),
// aligned with the input and with nothing before them; the stream is held
// back by the latency.
bool PlaysRowPair(const double values[3], int32_t pair) {
    const int16_t* rows = Responses();
    Virtual3D effect(44100, rows, 0.0, 0.0);
    effect.SetParameters(values);
    const int32_t at = 576 * 4 + 100;
    std::vector<double> input(2 * 576 * 6, 0.0);
    input[2 * at] = input[2 * (at + 1) + 1] = 32768.0;
    const std::vector<double> out = test::RunBlocks(effect, input, 2, 576);
    if (effect.Latency() != 255 || out.size() != input.size() - 2 * 255) return false;
    for (int32_t i = 0; i < 2 * at; ++i)
        if (std::fabs(out[i]) > 1e-9) return false;
    for (int32_t k = 0; k < kHrirTaps; ++k)
        if (std::fabs(out[2 * (at + k)] - rows[2 * pair * kHrirTaps + k]) > 1e-6 ||
            std::fabs(out[2 * (at + 1 + k) + 1] - rows[(2 * pair + 1) * kHrirTaps + k]) > 1e-6)
            return false;
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
    EXPECT_NEAR(test::Decibels(level[1] / level[0]), 0.0, 1.0);
}

// Thousands of blocks of the sizes players use, and of random sizes, with
// knob and room changes along the way: from its first call each effect
// returns exactly the frames it has taken minus its latency, and no block
// comes back silent or repeated.
TEST(ConvolutionStream, NeverStarvesNorRepeatsAcrossChanges) {
    const auto noise = test::Noise(2 * 8192, 8000.0, 3);
    for (EffectId id : {EffectId::ModalReverb, EffectId::SampleReverb, EffectId::Virtual3D})
        for (const std::vector<int32_t>& sizes : {std::vector<int32_t>{441, 480, 576, 882, 1000, 1152}, {0}}) {
            SCOPED_TRACE(::testing::Message() << EffectText(id) << (sizes[0] ? ", player blocks" : ", random blocks"));
            std::unique_ptr<EffectProcessor> effect = test::BuildAtDefaults(id, 2);
            KnobSpec knobs[kMaxKnobs];
            const int32_t knobCount = effect->DescribeKnobs(knobs);
            std::vector<double> values(kMaxKnobs);
            std::mt19937 random(7);
            std::vector<double> block(2 * 4096), previous;
            const int32_t latency = effect->Latency();
            int64_t fed = 0, delivered = 0;
            for (int call = 0; call < 1500; ++call) {
                if (call % 200 == 100) {
                    // Every knob to a new place in the lower half of its range
                    // (the largest rooms are for the benchmarks), as a user might.
                    for (int32_t k = 0; k < knobCount; ++k)
                        values[k] = KnobValueAt(knobs[k], 5000 + static_cast<int>(random() % 5000));
                    effect->SetParameters(values.data());
                }
                const int32_t frames = sizes[call % sizes.size()] ? sizes[call % sizes.size()] : 1 + random() % 2048;
                const int32_t offset = static_cast<int32_t>(random() % 4096);
                std::copy(noise.begin() + 2 * offset, noise.begin() + 2 * (offset + frames), block.begin());
                RunWorkNow(*effect);
                const int32_t got = effect->ProcessBlock(block.data(), block.data(), 2 * frames, 2 * frames, 3) / 2;
                fed += frames;
                ASSERT_EQ(delivered + got, std::max<int64_t>(0, fed - latency)) << "call " << call;
                delivered += got;
                // Past the direct sound's way to the listener (4000 frames at
                // most in the rooms visited here), every block carries sound.
                if (got < 64 || delivered < 8192) continue;
                const std::vector<double> out(block.begin(), block.begin() + 2 * got);
                ASSERT_GT(test::Rms(out), 100.0) << "silent call " << call;
                ASSERT_NE(out, previous) << "repeated call " << call;
                previous = out;
            }
        }
}

}  // namespace
}  // namespace orve
