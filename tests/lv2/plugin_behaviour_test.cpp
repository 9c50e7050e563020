// What LV2 users ask of every plug-in, checked through lilv on the built
// bundle: a latency port that is right from the first run() (run(0)
// included) and output that does not depend on the host's period sizes; no
// allocation in run() once the first second has played, knob moves and the
// worker's rebuilds included; a host bypass that crossfades at the same
// latency; session state (DeNoise's noise profile) that survives a reload;
// activate after deactivate playing as a fresh instance; flush-to-zero around
// run(); instantiation from 8 to 192 kHz.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "analysis/signals.h"
#include "lv2/lv2_test_host.h"
#include "platform/lv2/lv2_bundle.h"
#include "plugin/effect_factory.h"

namespace {
// Every operator new of this binary (the plug-in's included: the binary
// exports them, so the loaded module uses them) is counted while armed.
bool countingArmed = false;
long allocationsSeen = 0;

void* CountedAllocation(std::size_t size) {
    if (countingArmed) ++allocationsSeen;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return CountedAllocation(size); }
void* operator new[](std::size_t size) { return CountedAllocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (countingArmed) ++allocationsSeen;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (countingArmed) ++allocationsSeen;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

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
        const double t = static_cast<double>(f) / kRate;
        const double tone = (f / (kRate / 4)) % 4 == 3 ? 0.0 : 0.2 * std::sin(2 * M_PI * 440.0 * t);
        for (int32_t c = 0; c < channels; ++c) {
            double x = tone * (c ? 0.7 : 1.0) + 0.01 * noise.Uniform();
            if (f % 9000 == 4500 + c) x += 0.5;
            out[static_cast<size_t>(f) * channels + c] = static_cast<float>(x);
        }
    }
    return out;
}

double MaxDifference(const std::vector<float>& a, const std::vector<float>& b, size_t from = 0, size_t count = SIZE_MAX) {
    double worst = 0.0;
    const size_t end = std::min({a.size(), b.size(), count == SIZE_MAX ? SIZE_MAX : from + count});
    for (size_t i = from; i < end; ++i) worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - b[i]));
    return worst;
}

std::string Name(const ::testing::TestParamInfo<size_t>& p) {
    std::string name = BundlePlugins()[p.param].fileStem;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

class EveryPlugin : public ::testing::TestWithParam<size_t> {};

// The latency port is set by run(0) before any audio, never changes, and is
// the delay: with the channel switches off, the output is the input delayed
// by exactly that many frames. Periods of any size (0 among them) give the
// same output as steady 512-frame periods.
TEST_P(EveryPlugin, LatencyHoldsFromRunZeroForAnyPeriods) {
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

    Host steady(plugin.uri, kRate);
    steady.Activate();
    const std::vector<float> b = steady.RunAll(input, {512});
    EXPECT_LT(MaxDifference(a, b), 1e-6);
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
    const EffectBuildContext context{kRate, ch, nullptr, nullptr};
    std::unique_ptr<EffectProcessor> effect = MakeEffect(plugin.effect, context);
    KnobSpec knobs[kMaxKnobs] = {};
    const int32_t knobCount = effect->DescribeKnobs(knobs);
    const lv2::PortLayout layout = lv2::LayoutOf(plugin, knobCount);

    host.Activate();
    const std::vector<float> input = TestSignal(ch, 2.0);
    const uint32_t periods[] = {256, 64, 512, 100, 1024, 33};
    size_t done = 0;
    long seen = 0;
    int32_t step = 0;
    for (size_t p = 0; done < input.size() / ch; ++p) {
        const uint32_t n = std::min<uint32_t>(periods[p % 6], static_cast<uint32_t>(input.size() / ch - done));
        if (done / (kRate / 10) != (done + n) / (kRate / 10)) {
            ++step;
            for (int32_t k = 0; k < knobCount; ++k) {
                const double t = 0.5 + 0.04 * ((step + k) % 5);
                host.Set(host.SymbolAt(layout.Knob(k)),
                         static_cast<float>(knobs[k].startValue + t * (knobs[k].endValue - knobs[k].startValue)));
            }
            host.Set("gain", static_cast<float>(-3.0 * (step % 3)));
            host.Set("enabled", step % 4 == 3 ? 0.0f : 1.0f);
            if (host.HasPort("snap_noise")) host.Set("snap_noise", step % 2 ? 1.0f : 0.0f);
        }
        host.RunWorker();
        allocationsSeen = 0;
        if (done >= static_cast<size_t>(kRate)) {
            host.beforeRun = [] { countingArmed = true; };
            host.afterRun = [] { countingArmed = false; };
        }
        host.Run(input, n, done);
        seen += allocationsSeen;
        done += n;
    }
    EXPECT_EQ(seen, 0);
}

INSTANTIATE_TEST_SUITE_P(Lv2, EveryPlugin, ::testing::Range<size_t>(0, BundlePlugins().size()), Name);

std::vector<size_t> PluginsWhere(bool (*keep)(const BundlePlugin&)) {
    std::vector<size_t> chosen;
    for (size_t p = 0; p < BundlePlugins().size(); ++p)
        if (keep(BundlePlugins()[p])) chosen.push_back(p);
    return chosen;
}

class RestartingPlugin : public ::testing::TestWithParam<size_t> {};

// After deactivate and activate the plug-in plays as a fresh instance: the
// last activation's history does not sound into the next one. DeNoise keeps
// what it learned, so it is left to the state test.
TEST_P(RestartingPlugin, ActivateAfterDeactivatePlaysAsAFreshInstance) {
    const BundlePlugin& plugin = BundlePlugins()[GetParam()];
    const std::vector<float> input = TestSignal(plugin.channels, 0.6, 11);
    Host used(plugin.uri, kRate);
    used.Activate();
    used.RunAll(TestSignal(plugin.channels, 0.5, 3), {480});
    used.Deactivate();
    used.Activate();
    const std::vector<float> again = used.RunAll(input, {480});
    Host fresh(plugin.uri, kRate);
    fresh.Activate();
    const std::vector<float> first = fresh.RunAll(input, {480});
    EXPECT_LT(MaxDifference(again, first), 1e-6);
}

// DeNoise keeps what it learned across a restart (see the state test).
INSTANTIATE_TEST_SUITE_P(Lv2, RestartingPlugin,
                         ::testing::ValuesIn(PluginsWhere([](const BundlePlugin& p) { return p.effect != EffectId::DeNoise; })),
                         Name);

class StereoPlugin : public ::testing::TestWithParam<size_t> {};

// Every effect instantiates from 8 kHz to 192 kHz and plays finite samples
// there; rates outside are refused rather than played wrongly.
TEST_P(StereoPlugin, InstantiatesFrom8To192kHz) {
    const BundlePlugin& plugin = BundlePlugins()[GetParam()];
    for (double rate : {8000.0, 192000.0}) {
        Host host(plugin.uri, rate);
        ASSERT_TRUE(host.Ok()) << rate;
        host.Activate();
        const std::vector<float> out = host.RunAll(TestSignal(plugin.channels, 0.3), {1024});
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float x) { return std::isfinite(x); })) << rate;
    }
    for (double rate : {7999.0, 192001.0}) EXPECT_FALSE(Host(plugin.uri, rate).Ok()) << rate;
}

// The mono plug-ins build the same effects.
INSTANTIATE_TEST_SUITE_P(Lv2, StereoPlugin,
                         ::testing::ValuesIn(PluginsWhere([](const BundlePlugin& p) { return p.channels == 2; })), Name);

std::string Uri(const char* stem) { return std::string(lv2::kUriBase) + stem; }

// Automating the host's bypass crossfades: no step larger than the signal's
// own, the bypassed stretch is the input at the same latency, and the
// latency port never moves.
TEST(Lv2Bypass, CrossfadesAtTheSameLatency) {
    Host host(Uri("geq-10-bands-1-oct"), kRate);
    host.Set("_500", 12.0f);   // the tone's band, far up: wet and dry differ
    host.Activate();
    const int32_t frames = kRate;
    std::vector<float> input(2 * static_cast<size_t>(frames));
    for (int32_t f = 0; f < frames; ++f)
        input[2 * f] = input[2 * f + 1] = static_cast<float>(0.05 * std::sin(2 * M_PI * 500.0 * f / kRate));
    host.Run({}, 0);
    const int32_t latency = host.Latency();
    std::vector<float> out;
    for (int32_t done = 0; done < frames; done += 256) {
        host.Set("enabled", done >= frames / 3 && done < 2 * frames / 3 ? 0.0f : 1.0f);
        const std::vector<float> part = host.Run(input, 256, done);
        out.insert(out.end(), part.begin(), part.end());
        EXPECT_EQ(host.Latency(), latency);
    }
    // Bypassed, once the fade is over: the input, delayed by the latency.
    double worstDry = 0.0, wetPeak = 0.0, largestStep = 0.0;
    for (int32_t f = frames / 3 + kRate / 20; f < 2 * frames / 3; ++f)
        worstDry = std::max(worstDry, std::fabs(static_cast<double>(out[2 * f]) - input[2 * (f - latency)]));
    EXPECT_LT(worstDry, 1e-7);
    for (int32_t f = kRate / 10; f < frames / 3; ++f) wetPeak = std::max(wetPeak, std::fabs(static_cast<double>(out[2 * f])));
    ASSERT_GT(wetPeak, 0.12);   // the boost is there to fade from
    for (int32_t f = 1; f < frames; ++f)
        largestStep = std::max(largestStep, std::fabs(static_cast<double>(out[2 * f]) - out[2 * (f - 1)]));
    // A sine of the wet peak moves at most peak x 2 pi f / fs per sample.
    EXPECT_LT(largestStep, 1.1 * wetPeak * 2 * M_PI * 500.0 / kRate);
}

// DeNoise's learned profile goes into the host's session and comes back in
// a fresh instance: it plays exactly as the instance that learned it does
// after a restart, instead of muting the first fifth of a second to learn.
TEST(Lv2State, NoiseProfileSurvivesASessionReload) {
    const std::string uri = Uri("restoration-denoise");
    std::vector<float> hiss(2 * static_cast<size_t>(0.6 * kRate));
    analysis::Lcg random(5);
    for (float& x : hiss) x = static_cast<float>(0.02 * random.Uniform());
    const std::vector<float> music = TestSignal(2, 0.5, 9);

    Host learner(uri, kRate);
    learner.Activate();
    learner.RunAll(hiss, {512});
    const std::string session = learner.SaveState();
    EXPECT_NE(session.find("effect-state"), std::string::npos) << session;

    Host reloaded(uri, kRate);
    reloaded.RestoreState(session);
    reloaded.Activate();
    const std::vector<float> restored = reloaded.RunAll(music, {512});

    learner.Deactivate();
    learner.Activate();
    const std::vector<float> continued = learner.RunAll(music, {512});
    EXPECT_LT(MaxDifference(restored, continued), 1e-7);

    // Without the profile a fresh instance mutes its first stretch to learn.
    Host fresh(uri, kRate);
    fresh.Activate();
    const std::vector<float> learning = fresh.RunAll(music, {512});
    const size_t early = 2 * static_cast<size_t>(0.1 * kRate);
    double restoredEnergy = 0.0, learningEnergy = 0.0;
    for (size_t i = 2 * static_cast<size_t>(reloaded.Latency()); i < early + 2 * reloaded.Latency(); ++i) {
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
    Host reframed(uri, kRate, Host::Worker::Deferred);
    reframed.Activate();
    reframed.RunAll(std::vector<float>(input.begin(), input.begin() + 2 * switchAt), {period});
    const int32_t before = reframed.Latency();
    reframed.Set("window", 100.0f);
    reframed.Run({}, 0);   // schedules the re-framing
    EXPECT_EQ(reframed.RunWorker(), 1);
    const std::vector<float> rest(input.begin() + 2 * switchAt, input.end());
    const std::vector<float> after = reframed.RunAll(rest, {period});
    const int32_t latency = reframed.Latency();
    EXPECT_GT(latency, before);

    Host fresh(uri, kRate);
    fresh.Set("window", 100.0f);
    fresh.Activate();
    const std::vector<float> reference = fresh.RunAll(rest, {period});
    EXPECT_EQ(fresh.Latency(), latency);
    const size_t from = 2 * static_cast<size_t>(latency);
    EXPECT_EQ(MaxDifference(after, reference, from), 0.0);
    EXPECT_GT(MaxDifference(reference, std::vector<float>(reference.size(), 0.0f), from), 1e-3);
}

// Denormal inputs and results are flushed to zero inside run(), and the
// host's own floating-point setting is back afterwards.
TEST(Lv2Denormals, FlushedInsideRunOnly) {
    Host host(Uri("level-tuning-mono"), kRate);
    host.Activate();
    const std::vector<float> tiny(512, 1e-39f);
    ASSERT_NE(tiny[0], 0.0f);
#if defined(__SSE__) || defined(__x86_64__)
    const unsigned before = _mm_getcsr();
#endif
    const std::vector<float> out = host.Run(tiny, 512);
#if defined(__SSE__) || defined(__x86_64__)
    EXPECT_EQ(_mm_getcsr(), before);
#endif
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float x) { return x == 0.0f; }));
}

// A room change is built by the host's worker, not in run(): until the
// worker has run, the plug-in plays the old room; afterwards the new one
// comes in.
TEST(Lv2Worker, RoomChangesAreBuiltByTheWorker) {
    const std::string uri = Uri("spacial-samplereverb");
    Host changed(uri, kRate, Host::Worker::Deferred), kept(uri, kRate, Host::Worker::Deferred);
    changed.Activate();
    kept.Activate();
    const std::vector<float> input = TestSignal(2, 1.0);
    const int32_t period = 512, half = kRate / 2 / period * period;
    std::vector<float> a, b;
    for (int32_t done = 0; done < half; done += period) {
        a = changed.Run(input, period, done);
        b = kept.Run(input, period, done);
    }
    changed.Set("type", 9.0f);
    for (int32_t done = half; done < half + 8 * period; done += period) {
        a = changed.Run(input, period, done);
        b = kept.Run(input, period, done);
        EXPECT_EQ(MaxDifference(a, b), 0.0) << "the room changed before the worker ran";
    }
    EXPECT_GE(changed.RunWorker(), 1);
    double difference = 0.0;
    for (int32_t done = half + 8 * period; done < 2 * half; done += period) {
        difference = std::max(difference, MaxDifference(changed.Run(input, period, done), kept.Run(input, period, done)));
        changed.RunWorker();
    }
    EXPECT_GT(difference, 1e-3);
}

}  // namespace
}  // namespace orve::lv2test
