#include "effects/spatial/de_vocal_mono.h"

#include <gtest/gtest.h>

#include <cmath>

#include "dsp/fft_engine.h"
#include "plugin/effect_factory.h"
#include "support/test_signals.h"

namespace orve {
namespace {

constexpr double kRate = 44100.0;

class DeVocalMonoProbe : public DeVocalMono {
public:
    using DeVocalMono::DeVocalMono;
    double* Plane(int c) { return FramePlane(c); }
};

// Band weight of a packed spectrum index for the band edges lo and hi (bins
// in units of the nominal 0.03 s frame): tapers of 0.001 and 0.5 outside a
// flat band of 1 over bins lo-1 .. hi-1.
double Weight(int64_t n, int64_t lo, int64_t hi) {
    if (n >= 2 * lo - 3 && n <= 2 * hi - 2) return 1.0;
    if (n == 2 * lo - 5 || n == 2 * lo - 4 || n == 2 * hi - 1 || n == 2 * hi) return 0.5;
    if (n == 2 * lo - 7 || n == 2 * lo - 6 || n == 2 * hi + 1 || n == 2 * hi + 2) return 0.001;
    return 0.0;
}

struct FrameSpectra {
    std::vector<double> inL, inR, outL, outR;
};

// Fills both planes (right = rightScale x left), runs one frame, returns the
// spectra of what went in and what came out.
FrameSpectra RunFrame(DeVocalMonoProbe& effect, double rightScale, uint32_t seed) {
    const int32_t N = effect.FrameLength();
    const auto noise = test::Noise(N, 3000.0, seed);
    for (int32_t n = 0; n < N; ++n) {
        effect.Plane(0)[n] = noise[n];
        effect.Plane(1)[n] = rightScale * noise[n];
    }
    FrameSpectra s;
    s.inL.assign(effect.Plane(0), effect.Plane(0) + N);
    s.inR.assign(effect.Plane(1), effect.Plane(1) + N);
    effect.ProcessChannels(0);   // the mask is ignored: both channels always run
    s.outL.assign(effect.Plane(0), effect.Plane(0) + N);
    s.outR.assign(effect.Plane(1), effect.Plane(1) + N);
    FftEngine fft(N, FftKind::Real);
    for (auto* x : {&s.inL, &s.inR, &s.outL, &s.outR}) fft.ForwardReal(x->data());
    return s;
}

TEST(DeVocalMonoFrame, IdenticalChannelsLoseTheBandAndKeepTheTapers) {
    DeVocalMonoProbe effect(kRate, 2);
    ASSERT_EQ(effect.FrameLength(), 1536);
    const auto s = RunFrame(effect, 1.0, 4);
    // Construction band: 200 Hz and 12000 Hz, so lo = 6 and hi = 360.
    const double tolerance = 1e-7 * 3000.0 * 1536;
    int64_t silenced = 0, tapered = 0;
    for (int64_t n = 0; n < 1536; ++n) {
        const double keep = 1.0 - Weight(n, 6, 360);
        ASSERT_NEAR(s.outL[n], keep * s.inL[n], tolerance) << n;
        ASSERT_NEAR(s.outR[n], keep * s.inR[n], tolerance) << n;
        silenced += keep == 0.0;
        tapered += keep == 0.5 || keep == 0.999;
    }
    EXPECT_EQ(silenced, 2 * 360 - 2 - (2 * 6 - 3) + 1);
    EXPECT_EQ(tapered, 8);
}

TEST(DeVocalMonoFrame, NarrowingTheBandLeavesNoTraceOfTheOldOne) {
    DeVocalMonoProbe effect(kRate, 2);
    const double wide[] = {50.0, 10000.0, 0.0};
    effect.SetParameters(wide);
    RunFrame(effect, 1.0, 5);
    const double narrow[] = {200.0, 10000.0, 0.0};
    effect.SetParameters(narrow);
    const auto s = RunFrame(effect, 1.0, 6);
    // Below the new lower taper (indices 0..4) everything passes again.
    for (int n = 0; n < 5; ++n) EXPECT_NEAR(s.outL[n], s.inL[n], 1e-6 * std::abs(s.inL[n]) + 1e-6) << n;
    EXPECT_NEAR(s.outL[9], 0.0, 1e-3);
    // And the upper edge moved down to hi = 300.
    EXPECT_NEAR(s.outL[2 * 300 + 10], s.inL[2 * 300 + 10], 1e-6 * std::abs(s.inL[610]) + 1e-6);
}

TEST(DeVocalMonoFrame, FullPanKeepsALeftOnlySource) {
    DeVocalMonoProbe effect(kRate, 2);
    const double values[] = {200.0, 12000.0, 1.0};
    effect.SetParameters(values);
    const auto s = RunFrame(effect, 0.0, 7);
    // In the band the left becomes ((1+p)L - (1-p)R)/2 = L and the right -L.
    const double tolerance = 1e-7 * 3000.0 * 1536;
    for (int64_t n = 0; n < 1536; ++n) {
        ASSERT_NEAR(s.outL[n], s.inL[n], tolerance) << n;
        ASSERT_NEAR(s.outR[n], -Weight(n, 6, 360) * s.inL[n], tolerance) << n;
    }
}

TEST(DeVocalMonoStream, ConstructionBandIsWiderThanTheKnobDefault) {
    // A centred voice at 1 kHz and a centred whistle at 9.5 kHz: the fresh
    // effect (upper edge 12000 Hz) removes both; with the knob defaults
    // (10000 Hz, bin 300 = 8.6 kHz) the whistle is above the band.
    const int32_t frames = 3 * 8192;
    auto input = test::Sine(1000.0, kRate, frames, 2, 5000.0);
    const auto whistle = test::Sine(9500.0, kRate, frames, 2, 3000.0, 0.4);
    for (size_t i = 0; i < input.size(); ++i) input[i] += whistle[i];

    DeVocalMono fresh(kRate, 2);
    const auto out1 = test::RunBlocks(fresh, input, 2, 576);
    DeVocalMono knobbed(kRate, 2);
    const double defaults[] = {200.0, 10000.0, 0.0};
    knobbed.SetParameters(defaults);
    const auto out2 = test::RunBlocks(knobbed, input, 2, 576);

    const size_t first = 4096, span = 8192;
    for (int c = 0; c < 2; ++c) {
        EXPECT_LT(test::ToneAmplitude(out1, 2, c, 1000.0, kRate, first, span), 1.0);
        EXPECT_LT(test::ToneAmplitude(out1, 2, c, 9500.0, kRate, first, span), 1.0);
        EXPECT_LT(test::ToneAmplitude(out2, 2, c, 1000.0, kRate, first, span), 1.0);
        EXPECT_NEAR(test::ToneAmplitude(out2, 2, c, 9500.0, kRate, first, span), 3000.0, 30.0);
    }
}

TEST(DeVocalMonoStream, BuiltForTwoChannelsWhateverTheStream) {
    for (int32_t channels = 1; channels <= 8; ++channels) {
        const EffectBuildContext context{44100, channels, nullptr, nullptr};
        auto effect = MakeEffect(EffectId::DeVocalMono, context);
        auto* devocal = dynamic_cast<DeVocalMono*>(effect.get());
        ASSERT_NE(devocal, nullptr);
        EXPECT_EQ(devocal->Channels(), 2);
        const auto input = test::Noise(channels * 7001, 2000.0, 13);
        const auto output = test::RunBlocks(*effect, input, channels, 441, 1);
        // Whole blocks come back, in order; nothing beyond what was offered.
        ASSERT_GT(output.size(), 0u) << channels;
        ASSERT_LE(output.size(), input.size()) << channels;
        for (double v : output) ASSERT_TRUE(std::isfinite(v));
    }
}

}  // namespace
}  // namespace orve
