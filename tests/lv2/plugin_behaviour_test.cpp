// What LV2 users ask of every plug-in, checked through lilv on the built
// bundle (each test says which).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "analysis/signals.h"
#include "lv2/lv2_test_host.h"
#include "support/allocation_counter.h"

namespace orve::lv2test {
namespace {

using lv2::BundlePlugin;
using lv2::BundlePlugins;

constexpr int32_t kRate = 44100;

// Interleaved floats, full scale 1: a tone with noise, clicks and a pause,
// something every effect acts on.
std::vector<float> TestSignal(int32_t channels, double seconds, uint32_t seed = 7) {
    const int32_t frames = static_cast<int32_t>(seconds * kRate);
    analysis::Lcg noise(seed);
    std::vector<float> out(static_cast<size_t>(frames) * channels);
    for (int32_t f = 0; f < frames; ++f) {
        const double tone = (f / (kRate / 4)) % 4 == 3 ? 0.0 : 0.2 * std::sin(2 * M_PI * 440.0 * f / kRate);
        for (int32_t c = 0; c < channels; ++c)
            out[static_cast<size_t>(f) * channels + c] =
                static_cast<float>(tone * (c ? 0.7 : 1.0) + 0.01 * noise.Uniform() + (f % 9000 == 4500 + c ? 0.5 : 0.0));
    }
    return out;
}

double MaxDifference(const std::vector<float>& a, const std::vector<float>& b, size_t from = 0) {
    double worst = 0.0;
    for (size_t i = from; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - b[i]));
    return worst;
}

class EveryPlugin : public ::testing::TestWithParam<size_t> {};

// The latency port is set by run(0) before any audio, never changes, and is
// the delay: with the channel switches off, the output is the input delayed
// by exactly that many frames. Periods of any size (0 among them) give the
// same output as steady 512-frame periods, and so does a restart: the last
// activation's history does not sound into the next one (DeNoise keeps what
// it learned; see the state test). From 8 to 192 kHz every plug-in plays.
TEST_P(EveryPlugin, LatencyHoldsFromRunZeroForAnyPeriodsRatesAndRestarts) {
    const BundlePlugin& plugin = BundlePlugins()[GetParam()];
    const int32_t ch = plugin.channels;
    const std::vector<float> input = TestSignal(ch, 1.0);

    Host irregular(plugin.uri, kRate);
    ASSERT_TRUE(irregular.Ok());
    irregular.Activate();
    irregular.Set("latency", -1.0f);
    irregular.Run({}, 0);
    const int32_t latency = irregular.Latency();
    ASSERT_GE(latency, 0);
    const std::vector<float> a = irregular.RunAll(input, {0, 1, 7, 64, 333, 4096, 13, 0, 512, 2});
    EXPECT_EQ(irregular.Latency(), latency);
    if (plugin.effect != EffectId::DeNoise) {
        irregular.Deactivate();
        irregular.Activate();
        EXPECT_LT(MaxDifference(irregular.RunAll(input, {480}), a), 1e-6) << "after a restart";
    }

    Host steady(plugin.uri, kRate);
    steady.Activate();
    EXPECT_LT(MaxDifference(steady.RunAll(input, {512}), a), 1e-6);
    EXPECT_EQ(steady.Latency(), latency);

    Host passing(plugin.uri, kRate);
    for (const char* symbol : {"left", "right", "process"})
        if (passing.HasPort(symbol)) passing.Set(symbol, 0.0f);
    passing.Activate();
    const std::vector<float> c = passing.RunAll(input, {300});
    EXPECT_EQ(passing.Latency(), latency);
    std::vector<float> delayed(input.size(), 0.0f);
    std::copy(input.begin(), input.end() - static_cast<ptrdiff_t>(latency) * ch, delayed.begin() + latency * ch);
    EXPECT_LT(MaxDifference(c, delayed), 1e-6) << "latency " << latency;

    for (double rate : {8000.0, 192000.0}) {
        Host host(plugin.uri, rate);
        ASSERT_TRUE(host.Ok()) << rate;
        host.Activate();
        const std::vector<float> out = host.RunAll(TestSignal(ch, 0.2), {1024});
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float x) { return std::isfinite(x); })) << rate;
    }
    // Rates outside are refused rather than played wrongly.
    for (double rate : {7999.0, 192001.0}) EXPECT_FALSE(Host(plugin.uri, rate).Ok()) << rate;
}

// Every knob moves a little every tenth of a second, with the gain, the
// bypass and Snap Noise, while periods of changing sizes play and rebuilds go
// through the host's worker between periods; after the first second neither
// run() nor work_response() allocates.
TEST_P(EveryPlugin, RunAllocatesNothingAfterTheFirstSecondKnobMovesIncluded) {
    const BundlePlugin& plugin = BundlePlugins()[GetParam()];
    const int32_t ch = plugin.channels;
    Host host(plugin.uri, kRate, Host::Worker::Deferred);
    ASSERT_TRUE(host.Ok());
    const Described d = Describe(plugin);
    host.Activate();
    const std::vector<float> input = TestSignal(ch, 2.0);
    const uint32_t periods[] = {256, 64, 512, 100, 1024, 33};
    long seen = 0;
    for (size_t p = 0, done = 0, step = 0; done < input.size() / ch; ++p) {
        const uint32_t n = std::min<uint32_t>(periods[p % 6], static_cast<uint32_t>(input.size() / ch - done));
        if (done / (kRate / 10) != (done + n) / (kRate / 10)) {
            ++step;
            for (int32_t k = 0; k < d.knobCount; ++k) {
                const double t = 0.5 + 0.04 * ((step + k) % 5);
                const KnobSpec& knob = d.knobs[k];
                host.SetPort(d.layout.Knob(k), static_cast<float>(knob.startValue + t * (knob.endValue - knob.startValue)));
            }
            host.Set("gain", static_cast<float>(-3.0 * (step % 3)));
            host.Set("enabled", step % 4 == 3 ? 0.0f : 1.0f);
            if (host.HasPort("snap_noise")) host.Set("snap_noise", step % 2 ? 1.0f : 0.0f);
        }
        host.RunWorker();
        test::allocationsSeen = 0;
        if (done >= static_cast<size_t>(kRate)) {
            host.beforeRun = [] { test::countingArmed = true; };
            host.afterRun = [] { test::countingArmed = false; };
        }
        host.Run(input, n, done);
        seen += test::allocationsSeen;
        done += n;
    }
    EXPECT_EQ(seen, 0);
}

INSTANTIATE_TEST_SUITE_P(Lv2, EveryPlugin, ::testing::ValuesIn(AllPlugins()), PluginName);

std::string Uri(const char* stem) { return std::string(lv2::kUriBase) + stem; }

// Automating the host's bypass crossfades: no step larger than the signal's
// own, the bypassed stretch is the input at the same latency, and the
// latency port never moves.
TEST(Lv2Bypass, CrossfadesAtTheSameLatency) {
    Host host(Uri("geq-10-bands-1-oct"), kRate);
    host.Set("_500", 12.0f);   // the tone's band, far up: wet and dry differ
    host.Activate();
    const int32_t frames = kRate;
    std::vector<float> input(2 * static_cast<size_t>(frames)), out;
    for (int32_t f = 0; f < frames; ++f)
        input[2 * f] = input[2 * f + 1] = static_cast<float>(0.05 * std::sin(2 * M_PI * 500.0 * f / kRate));
    host.Run({}, 0);
    const int32_t latency = host.Latency();
    for (int32_t done = 0; done < frames; done += 256) {
        host.Set("enabled", done >= frames / 3 && done < 2 * frames / 3 ? 0.0f : 1.0f);
        const std::vector<float> part = host.Run(input, 256, done);
        out.insert(out.end(), part.begin(), part.end());
        EXPECT_EQ(host.Latency(), latency);
    }
    double worstDry = 0.0, wetPeak = 0.0, largestStep = 0.0;
    for (int32_t f = 1; f < frames; ++f) {
        // Bypassed, once the fade is over: the input, delayed by the latency.
        if (f >= frames / 3 + kRate / 20 && f < 2 * frames / 3)
            worstDry = std::max(worstDry, std::fabs(static_cast<double>(out[2 * f]) - input[2 * (f - latency)]));
        if (f >= kRate / 10 && f < frames / 3) wetPeak = std::max(wetPeak, std::fabs(static_cast<double>(out[2 * f])));
        largestStep = std::max(largestStep, std::fabs(static_cast<double>(out[2 * f]) - out[2 * (f - 1)]));
    }
    EXPECT_LT(worstDry, 1e-7);
    ASSERT_GT(wetPeak, 0.12);   // the boost is there to fade from
    // A sine of the wet peak moves at most peak x 2 pi f / fs per sample.
    EXPECT_LT(largestStep, 1.1 * wetPeak * 2 * M_PI * 500.0 / kRate);
}

// DeNoise's learned profile goes into the host's session and comes back in
// a fresh instance: it plays exactly as the instance that learned it does
// after a restart, instead of muting its first stretch to learn.
TEST(Lv2State, NoiseProfileSurvivesASessionReload) {
    const std::string uri = Uri("restoration-denoise");
    std::vector<float> hiss(2 * static_cast<size_t>(0.6 * kRate));
    analysis::Lcg random(5);
    for (float& x : hiss) x = static_cast<float>(0.02 * random.Uniform());
    const std::vector<float> music = TestSignal(2, 0.5, 9);

    Host learner(uri, kRate), reloaded(uri, kRate), fresh(uri, kRate);
    learner.Activate();
    learner.RunAll(hiss, {512});
    reloaded.RestoreState(learner.SaveState());
    reloaded.Activate();
    const std::vector<float> restored = reloaded.RunAll(music, {512});
    learner.Deactivate();
    learner.Activate();
    EXPECT_LT(MaxDifference(restored, learner.RunAll(music, {512})), 1e-7);

    fresh.Activate();
    const std::vector<float> learning = fresh.RunAll(music, {512});
    double restoredEnergy = 0.0, learningEnergy = 0.0;
    for (size_t i = 2 * static_cast<size_t>(reloaded.Latency()), n = 0; n < 2 * kRate / 10; ++i, ++n) {
        restoredEnergy += restored[i] * restored[i];
        learningEnergy += learning[i] * learning[i];
    }
    EXPECT_GT(restoredEnergy, 100.0 * learningEnergy + 1e-9);
}

// DeNoise's Window re-frames it: the latency port takes the new frame length
// and the stream starts afresh at the period the new framing comes in, in
// time with a fresh instance at that Window fed from there on.
TEST(Lv2Latency, AReframingStartsAFreshStreamAtTheNewLatency) {
    const std::string uri = Uri("restoration-denoise");
    const std::vector<float> input = TestSignal(2, 2.0, 13);
    const uint32_t period = 512, switchAt = 80 * period;
    const std::vector<float> start(input.begin(), input.begin() + 2 * switchAt), rest(input.begin() + 2 * switchAt, input.end());
    Host reframed(uri, kRate, Host::Worker::Deferred), fresh(uri, kRate);
    reframed.Activate();
    reframed.RunAll(start, {period});
    const int32_t before = reframed.Latency();
    reframed.Set("window", 100.0f);
    reframed.Run({}, 0);   // schedules the re-framing
    EXPECT_EQ(reframed.RunWorker(), 1);
    const std::vector<float> after = reframed.RunAll(rest, {period});
    EXPECT_GT(reframed.Latency(), before);

    fresh.Set("window", 100.0f);
    fresh.Activate();
    const std::vector<float> reference = fresh.RunAll(rest, {period});
    EXPECT_EQ(fresh.Latency(), reframed.Latency());
    const size_t from = 2 * static_cast<size_t>(reframed.Latency());
    EXPECT_EQ(MaxDifference(after, reference, from), 0.0);
    EXPECT_GT(MaxDifference(reference, std::vector<float>(reference.size(), 0.0f), from), 1e-3);
}

#if defined(__SSE__) || defined(__x86_64__)
// Denormal inputs and results are flushed to zero inside run(), and the
// host's own floating-point setting is back afterwards.
TEST(Lv2Denormals, FlushedInsideRunOnly) {
    Host host(Uri("level-tuning-mono"), kRate);
    host.Activate();
    const unsigned before = _mm_getcsr();
    const std::vector<float> out = host.Run(std::vector<float>(512, 1e-39f), 512);
    EXPECT_EQ(_mm_getcsr(), before);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float x) { return x == 0.0f; }));
}
#endif

}  // namespace
}  // namespace orve::lv2test
