// The spectral effects on the fastest kernels against the same effects on the
// reference path (the FFT's plain transform and the C library's maths), and
// the reverbs' stream cut into the fewest levels against every level. On the
// demo's programme at the 32-bit scale the outputs must agree within
// a thousandth of one PCM step: the kernels' rounding must not build up in an
// effect's state.
// What each effect does to the sound is held to figures by the demo cases.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dsp/channel_effect.h"
#include "dsp/fft_engine.h"
#include "dsp/stream_convolver.h"
#include "effects/distortion/whisper.h"
#include "effects/level/level_dynamic.h"
#include "effects/restoration/de_hiss.h"
#include "effects/restoration/de_noise.h"
#include "effects/timepitch/pitch_scaler.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr int32_t kRate = 44100;

template <class Effect, bool kTransforms = true>
class OnReference : public Effect {
public:
    OnReference() : Effect(kRate, 2) {
        this->math = SpectrumMath(InstructionSet::kReference);
        if constexpr (kTransforms)
            this->fft = std::make_unique<FftEngine>(this->frameLength, FftKind::Real, InstructionSet::kReference);
    }
};

// The reverbs' stream: each channel convolved with a room-like response of
// `length` samples (noise decaying by 60 dB over it), its kernel cut into the
// levels that convolve it for the least work, or into every level of the
// layout.
class RoomStream : public ChannelEffect {
public:
    RoomStream(int32_t length, bool everyLevel) : ChannelEffect(2, 2000) {
        const int32_t levels = everyLevel ? kConvolutionLevels : LevelsFor(length, kConvolutionLevels);
        LevelTransforms transforms(levels);
        for (int32_t c = 0; c < 2; ++c) {
            auto taps = test::Noise(length, 0.1, 60 + c);
            for (int32_t i = 0; i < length; ++i) taps[i] *= std::exp(-6.9 * i / length);
            kernels[c] = std::make_unique<ConvolutionKernel>(length, levels);
            kernels[c]->Load(taps.data(), transforms);
            streams[c] = std::make_unique<StreamConvolver>(kConvolutionLevels, 1024);
            history[c] = StreamConvolver::PlanHistory(streams[c]->Shape(), kernels[c].get());
            streams[c]->Change(kernels[c].get(), *history[c]);
        }
    }
    void ProcessChannels(int32_t) override {
        for (int32_t c = 0; c < 2; ++c)
            producedFrames = streams[c]->Process(InputPlane(c), InputFrames(), OutputPlane(c), nullptr);
    }

private:
    std::unique_ptr<ConvolutionKernel> kernels[2];
    std::unique_ptr<StreamConvolver> streams[2];
    std::unique_ptr<ConvolutionHistory> history[2];
};

struct Case {
    std::string name;
    std::function<std::unique_ptr<EffectProcessor>()> fast, reference;
    std::vector<double> knobs;
    // One 32-bit step as the effect sees it: 1 for effects that scale with
    // their input; 2^-16 where levels matter, as the audio path hands every
    // stream over on the 16-bit scale.
    double step = 1.0;
};

template <class Effect, bool kTransforms = true>
Case Spectral(const std::string& name, std::vector<double> knobs, double step = 1.0) {
    return {name, [] { return std::make_unique<Effect>(kRate, 2); },
            [] { return std::make_unique<OnReference<Effect, kTransforms>>(); }, std::move(knobs), step};
}

class ReferencePath : public ::testing::TestWithParam<Case> {};

TEST_P(ReferencePath, WithinAThousandthOfA32BitStep) {
    const Case& c = GetParam();
    auto fast = c.fast(), reference = c.reference();
    fast->SetParameters(c.knobs.data());
    reference->SetParameters(c.knobs.data());
    // The demo's programme, at the 32-bit scale.
    auto input = analysis::StandardProgramme(kRate).samples;
    for (double& v : input) v *= 65536.0 * c.step;
    const auto want = test::RunBlocks(*reference, input, 2, 576);
    const auto got = test::RunBlocks(*fast, input, 2, 576);
    ASSERT_EQ(got.size(), want.size());
    ASSERT_GT(test::Rms(want), 1e7 * c.step);   // the comparison is not between silences
    EXPECT_LE(test::MaxDifference(got, want), 1e-3 * c.step);
}

INSTANTIATE_TEST_SUITE_P(
    Effects, ReferencePath,
    ::testing::Values(Spectral<DeHiss>("DeHiss", {0.5}), Spectral<DeHiss>("DeHissStrongest", {1.0}),
                      Spectral<DeNoise>("DeNoise", {50.0, 4.0, 0.5}), Spectral<Whisper>("Whisper", {1.0}),
                      Spectral<Whisper>("WhisperHalfWet", {0.4}),
                      Spectral<LevelDynamic, false>("LevelDynamic", {-20.0, 5.0, 300.0, 2.0}, 1.0 / 65536),
                      Spectral<LevelDynamic, false>("LevelDynamicHardest", {-35.0, 1.0, 20.0, 20.0}, 1.0 / 65536),
                      Spectral<PitchScaler>("PitchScaler", {0.0}), Spectral<PitchScaler>("PitchScalerChild", {0.4}),
                      Spectral<PitchScaler>("PitchScalerBassTone", {-0.4}),
                      // The default sample room (three levels) and the longest (four).
                      Case{"RoomOfOneSecond", [] { return std::make_unique<RoomStream>(48510, false); },
                           [] { return std::make_unique<RoomStream>(48510, true); }, {}},
                      Case{"RoomOfFiveSeconds", [] { return std::make_unique<RoomStream>(240698, false); },
                           [] { return std::make_unique<RoomStream>(240698, true); }, {}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace orve
