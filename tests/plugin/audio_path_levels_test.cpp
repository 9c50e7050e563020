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

// The same programme at 16 and 32 bits: the effect sees the same values
// (every width reaches it on the 16-bit scale), so the outputs differ by the
// 16-bit rounding alone. At 8 bits the coarser rounding changes what the
// adaptive effects hear, but not the level. Level Dynamic's threshold is a
// level: -25 dBFS of the 16-bit scale must be -25 dBFS of the other widths.
TEST(AudioPathLevels, EveryEffectGivesTheSameResultAtEveryWidth) {
    const auto x = Programme();
    for (const EffectEntry& entry : OfferedEffects()) {
        SCOPED_TRACE(entry.Text());
        std::vector<std::pair<int32_t, double>> knobs;
        if (entry.id == EffectId::LevelDynamic) knobs = {{0, -25.0}};
        const auto y16 = Play(entry.id, knobs, 16, 3, x);
        const double level = test::Rms(y16);
        ASSERT_GT(level, 10.0);
        if (entry.id == EffectId::LevelDynamic) {
            EXPECT_LT(test::Decibels(level / test::Rms(x)), -3.0);   // it does compress
        }
        for (int32_t bits : {8, 32}) {
            auto y = Play(entry.id, knobs, bits, 3, x);
            ASSERT_EQ(y.size(), y16.size());
            std::vector<double> difference(y.size());
            for (size_t i = 0; i < y.size(); ++i) difference[i] = (y[i] *= std::ldexp(1.0, 16 - bits)) - y16[i];
            EXPECT_NEAR(test::Decibels(test::Rms(y) / level), 0.0, 0.5) << bits << " bits";
            if (bits == 32) {
                EXPECT_LT(test::Decibels(test::Rms(difference) / level), -40.0);
            }
        }
    }
}

// Settings that change nothing give the input back bit for bit: the neutral
// knob values (on knob indices) of the effects that have them, the graphic
// equalisers with every band at 0 dB, and a switched-off channel through the
// path (every effect's own switch is held to the same in every_effect_test.cpp).
TEST(AudioPathLevels, NeutralSettingsGiveTheInputBackBitForBit) {
    struct Neutral {
        EffectId effectId;
        std::vector<std::pair<int32_t, double>> knobs;
        int32_t mask;
    };
    std::vector<Neutral> settings = {
        {EffectId::LevelTuning, {}, 3},
        {EffectId::LevelDynamic, {{0, -40.0}, {1, 1.0}, {2, 50.0}, {3, 1.0}}, 3},   // ratio 1
        {EffectId::PitchScaler, {{0, 0.0}}, 3},
        {EffectId::TempoScaler, {{0, 0.0}}, 3},
        {EffectId::Vibrato, {{0, 5.0}, {1, -5.0}}, 3},   // 10 us: no whole sample of swing
        {EffectId::Whisper, {{0, 0.0}}, 3},
        {EffectId::DeNoise, {}, 1},
    };
    for (EffectId id : {EffectId::Geq3Bands, EffectId::Geq10Bands, EffectId::Geq15Bands, EffectId::Geq20Bands,
                        EffectId::Geq31Bands}) {
        settings.push_back({id, {}, 3});
        for (int32_t k = 0; k < 40; ++k) settings.back().knobs.push_back({k, 0.0});
    }
    const auto x = Programme();
    for (const Neutral& n : settings) {
        SCOPED_TRACE(::testing::Message() << EffectText(n.effectId) << ", mask " << n.mask);
        const auto y = Play(n.effectId, n.knobs, 16, n.mask, x);
        ASSERT_EQ(y.size(), x.size());
        for (int32_t c = 0; c < 2; ++c) {
            if (n.mask != 3 && ChannelEnabled(n.mask, c)) continue;
            int64_t differing = 0;
            for (size_t i = c; i < x.size(); i += 2) differing += y[i] != std::nearbyint(x[i]);
            EXPECT_EQ(differing, 0) << "channel " << c;
        }
    }
}

}  // namespace
}  // namespace orve
