// What the audio path makes of levels: every effect gives the same result at
// every PCM width apart from quantisation, and settings that change nothing
// give the input back bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/embedded_kernels.h"
#include "plugin/audio_path.h"
#include "plugin/effect_actions.h"
#include "plugin/effect_catalogue.h"
#include "plugin/effect_factory.h"
#include "plugin/plugin_state.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kFrames = 44100 * 3 / 2;

// A loud stereo chord over hiss, on the 16-bit scale, peaking near -3 dBFS.
std::vector<double> Programme() {
    std::vector<double> x = test::Noise(2 * kFrames, 1500.0, 12);
    for (double f : {220.0, 277.2, 329.6}) {
        const auto tone = test::Sine(f, kRate, kFrames, 2, 6000.0);
        for (size_t i = 0; i < x.size(); ++i) x[i] += tone[i];
    }
    return x;
}

// Runs the programme through ModifySamples at `bits` in blocks of 576 frames,
// as orve does: silence after it until every frame is out, the stream's
// image of the input cut to its length. Values on the stream's own scale.
std::vector<double> Play(EffectId effectId, const std::vector<std::pair<int32_t, double>>& knobs, int32_t bits,
                         int32_t mask, const std::vector<double>& programme) {
    static EmbeddedKernels kernels;
    PluginState state(nullptr, &kernels, nullptr);
    state.effectId = effectId;
    state.effectSeed = 1;
    BuildEffect(state, kRate, 2, false);
    for (auto [k, v] : knobs) state.parameterValues[k] = v;
    state.currentEffect->SetParameters(state.parameterValues);
    state.channelMask = mask;

    const double scale = std::ldexp(1.0, bits - 16), top = std::ldexp(1.0, bits - 1);
    const int64_t frames = static_cast<int64_t>(programme.size() / 2);
    const int64_t lead = StreamStartLead(state.currentEffect.get());
    const int64_t target = std::llround(frames * StreamLengthRatio(state.currentEffect.get())) + std::max<int64_t>(lead, 0);
    std::vector<double> out;
    std::vector<uint8_t> host(2 * 2 * 576 * 4);
    for (int64_t fed = 0; static_cast<int64_t>(out.size()) < 2 * target; fed += 576) {
        for (int32_t i = 0; i < 2 * 576; ++i) {
            const size_t at = static_cast<size_t>(2 * fed + i);
            const double v = at < programme.size() ? std::clamp(std::nearbyint(programme[at] * scale), -top, top - 1) : 0.0;
            if (bits == 8) host[i] = static_cast<uint8_t>(static_cast<int32_t>(v) + 128);
            else if (bits == 16) reinterpret_cast<int16_t*>(host.data())[i] = static_cast<int16_t>(v);
            else reinterpret_cast<int32_t*>(host.data())[i] = static_cast<int32_t>(v);
        }
        const int32_t got = ModifySamples(state, host.data(), 576, bits, 2, kRate);
        for (int32_t i = 0; i < 2 * got; ++i)
            out.push_back(bits == 8 ? host[i] - 128.0
                                    : bits == 16 ? reinterpret_cast<int16_t*>(host.data())[i]
                                                 : reinterpret_cast<int32_t*>(host.data())[i]);
        if (fed > 40 * frames) break;
    }
    out.erase(out.begin(), out.begin() + 2 * std::max<int64_t>(lead, 0));
    out.resize(2 * (target - std::max<int64_t>(lead, 0)), 0.0);
    return out;
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

class EveryWidth : public testing::TestWithParam<EffectId> {};

// The same programme at 16 and at 32 bits: the effect sees the same values
// (every width reaches it on the 16-bit scale), so the outputs differ by the
// 16-bit rounding alone.
TEST_P(EveryWidth, SameResultAtSixteenAndThirtyTwoBits) {
    const auto x = Programme();
    const auto y16 = Play(GetParam(), {}, 16, 3, x);
    auto y32 = Play(GetParam(), {}, 32, 3, x);
    ASSERT_EQ(y16.size(), y32.size());
    for (double& v : y32) v /= 65536.0;
    const double level = test::Rms(y16);
    ASSERT_GT(level, 10.0);
    EXPECT_NEAR(Db(test::Rms(y32) / level), 0.0, 0.5);
    std::vector<double> difference(y16.size());
    for (size_t i = 0; i < y16.size(); ++i) difference[i] = y32[i] - y16[i];
    EXPECT_LT(Db(test::Rms(difference) / level), -40.0);
}

std::vector<EffectId> Offered() {
    std::vector<EffectId> ids;
    for (const EffectEntry& entry : OfferedEffects()) ids.push_back(entry.id);
    return ids;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryWidth, testing::ValuesIn(Offered()),
                         [](const testing::TestParamInfo<EffectId>& info) {
                             return "Effect" + std::to_string(EffectNumber(info.param));
                         });

TEST(AudioPathLevels, LevelDynamicCompressesAlikeAtEveryWidth) {
    // Its threshold is a level: -10 dBFS on the 16-bit scale must be -10 dBFS
    // of an 8- or 32-bit stream as well.
    const auto x = Programme();
    double change[3];
    int i = 0;
    for (int32_t bits : {8, 16, 32}) {
        const auto dry = Play(EffectId::LevelTuning, {}, bits, 3, x);
        const auto wet = Play(EffectId::LevelDynamic, {{0, -25.0}}, bits, 3, x);   // threshold -25 dBFS
        change[i++] = Db(test::Rms(wet) / test::Rms(dry));
    }
    EXPECT_LT(change[1], -3.0);   // it does compress
    EXPECT_NEAR(change[0], change[1], 0.5);
    EXPECT_NEAR(change[2], change[1], 0.5);
}

// Settings that change nothing: the neutral knob values of the effects that
// have them (values on knob indices), and a switched-off channel.
struct Neutral {
    const char* name;
    EffectId effectId;
    std::vector<std::pair<int32_t, double>> knobs;
    int32_t mask;
};

class NeutralSetting : public testing::TestWithParam<Neutral> {};

TEST_P(NeutralSetting, GivesTheInputBackBitForBit) {
    const Neutral& n = GetParam();
    const auto x = Programme();
    const auto y = Play(n.effectId, n.knobs, 16, n.mask, x);
    ASSERT_EQ(y.size(), x.size());
    for (int32_t c = 0; c < 2; ++c) {
        if (n.mask == 3 || !ChannelEnabled(n.mask, c)) {
            int64_t differing = 0;
            for (size_t i = c; i < x.size(); i += 2) differing += y[i] != std::nearbyint(x[i]);
            EXPECT_EQ(differing, 0) << "channel " << c;
        }
    }
}

std::vector<Neutral> NeutralSettings() {
    std::vector<Neutral> settings = {
        {"LevelTuningAt0dB", EffectId::LevelTuning, {}, 3},
        {"Ratio1", EffectId::LevelDynamic, {{0, -40.0}, {1, 1.0}, {2, 50.0}, {3, 1.0}}, 3},
        {"Pitch0", EffectId::PitchScaler, {{0, 0.0}}, 3},
        {"Tempo1", EffectId::TempoScaler, {{0, 0.0}}, 3},
        {"Swing10us", EffectId::Vibrato, {{0, 5.0}, {1, -5.0}}, 3},   // no whole sample of swing
        {"WhisperWet0", EffectId::Whisper, {{0, 0.0}}, 3},
    };
    // The graphic equalisers with every band at 0 dB.
    for (EffectId id : {EffectId::Geq3Bands, EffectId::Geq10Bands, EffectId::Geq15Bands, EffectId::Geq20Bands,
                        EffectId::Geq31Bands}) {
        Neutral flat{"FlatGeq", id, {}, 3};
        for (int32_t k = 0; k < 40; ++k) flat.knobs.push_back({k, 0.0});
        settings.push_back(flat);
    }
    // A switched-off channel through the path (every effect's own switch is
    // held to the same in every_effect_test.cpp).
    settings.push_back({"RightOff", EffectId::DeNoise, {}, 1});
    return settings;
}

INSTANTIATE_TEST_SUITE_P(AudioPathLevels, NeutralSetting, testing::ValuesIn(NeutralSettings()),
                         [](const testing::TestParamInfo<Neutral>& info) {
                             return std::string(info.param.name) + std::to_string(EffectNumber(info.param.effectId));
                         });

}  // namespace
}  // namespace orve
