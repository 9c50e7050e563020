// The block pipeline shared by `orve process` and `orve demo`, driven with
// effects that behave like the catalogue's delaying and stalling ones.
#include "process_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <string>

#include "cli_error.h"
#include "plugin/effect_catalogue.h"

namespace orve::cli {
namespace {

// Holds `latency` values back and then releases whole blocks, as spectral
// effects do: nothing while filling, then exactly the block size, and (when
// `stutter`) nothing once more right after its first release, so that it
// holds back a block more from then on; the output stream is the input stream.
class LatentEffect : public EffectProcessor {
public:
    LatentEffect(size_t latencyValues, bool stutterOnce)
        : EffectProcessor(0), latency(latencyValues), stutter(stutterOnce) {}
    int32_t ProcessBlock(const double* in, double* out, int32_t inCount, int32_t, int32_t) override {
        fifo.insert(fifo.end(), in, in + inCount);
        if (fifo.size() < latency + static_cast<size_t>(inCount)) return 0;
        if (released && stutter) {
            stutter = false;
            return 0;
        }
        released = true;
        for (int32_t i = 0; i < inCount; ++i) {
            out[i] = fifo.front();
            fifo.pop_front();
        }
        return inCount;
    }

private:
    size_t latency;
    bool stutter;
    bool released = false;
    std::deque<double> fifo;
};

// Never hands anything back.
class SilentEffect : public EffectProcessor {
public:
    SilentEffect() : EffectProcessor(0) {}
    int32_t ProcessBlock(const double*, double*, int32_t, int32_t, int32_t) override { return 0; }
};

class Source : public PcmSource {
public:
    Source(std::vector<int32_t> v, int32_t ch) : values(std::move(v)), channels(ch) {}
    int64_t Read(int32_t* out, int64_t frames) override {
        const int64_t n = std::min<int64_t>(frames, static_cast<int64_t>(values.size()) / channels - at);
        std::copy_n(values.begin() + at * channels, n * channels, out);
        at += n;
        return n;
    }

private:
    std::vector<int32_t> values;
    int32_t channels;
    int64_t at = 0;
};

class Sink : public PcmSink {
public:
    void Write(const int32_t* v, int64_t frames) override { values.insert(values.end(), v, v + 2 * frames); }
    std::vector<int32_t> values;
};

std::vector<int32_t> Ramp(int frames) {
    std::vector<int32_t> v(2 * frames);
    for (int i = 0; i < 2 * frames; ++i) v[i] = (i * 37) % 20000 - 10000;
    return v;
}

// Two knobs (one falling as it turns up) and presets with padded names, like
// the catalogue's tables; remembers what SetParameters handed it.
class KnobbedEffect : public EffectProcessor {
public:
    KnobbedEffect() : EffectProcessor(0) {
        static const KnobSpec knobs[2] = {{"Thre", -60.0, 0.0, -20.0}, {"Hi F", 20.0, 0.5, 8.0}};
        static const double norm[] = {3.0, -30.0, 10.0};
        static const double soft[] = {-2.0, -50.0, 1.0};
        static const double custom[] = {0.0, -20.0, 8.0};
        static const EffectPreset presets[3] = {{"Norm", norm}, {"Studio      ", soft}, {"Custom", custom}};
        ServeTables(knobs, presets);
    }
    void SetParameters(const double* values) override {
        received.assign(values, values + 2);
    }
    std::vector<double> received;
};

struct Chosen {
    std::vector<double> received;
    double gain;
    int32_t presetIndex;
};

Chosen Choose(const StageSettings& s) {
    PluginState state(nullptr);
    auto effect = std::make_unique<KnobbedEffect>();
    KnobbedEffect* seen = effect.get();
    state.currentEffect = std::move(effect);
    state.knobCount = state.currentEffect->DescribeKnobs(state.knobTable);
    for (int i = 0; i < state.knobCount; ++i) state.parameterValues[i] = state.knobTable[i].defaultValue;
    ApplyChoices(state, s, 2);
    return {seen->received, state.outputGain, state.presetIndex};
}

TEST(ProcessPipeline, PresetRowsSetGainAndEveryKnobThenOverridesApply) {
    StageSettings s;
    s.preset = "studio";   // padded in the table, any case here
    Chosen c = Choose(s);
    EXPECT_EQ(c.received, (std::vector<double>{-50.0, 1.0}));
    EXPECT_NEAR(c.gain, std::pow(10.0, -2.0 / 20.0), 1e-12);
    EXPECT_EQ(c.presetIndex, 1);

    s.knobs = {{"hi f ", 0.5}};
    s.gainDb = 6.0;
    c = Choose(s);
    EXPECT_EQ(c.received, (std::vector<double>{-50.0, 0.5}));
    EXPECT_NEAR(c.gain, std::pow(10.0, 0.3), 1e-12);
    // Touched by hand: remembered as the user's own row, so the window
    // reopens on these knob positions.
    EXPECT_EQ(c.presetIndex, 2);

    // Without a preset: knob defaults, 0 dB.
    c = Choose(StageSettings{});
    EXPECT_EQ(c.received, (std::vector<double>{-20.0, 8.0}));
    EXPECT_EQ(c.gain, 1.0);
}

TEST(ProcessPipeline, KnobValuesMustLieOnTheKnob) {
    auto fails = [](const char* label, double value) {
        StageSettings s;
        s.knobs = {{label, value}};
        try {
            Choose(s);
        } catch (const CliError&) {
            return true;
        }
        return false;
    };
    EXPECT_FALSE(fails("Thre", -60.0));
    EXPECT_FALSE(fails("THRE", 0.0));
    EXPECT_TRUE(fails("Thre", 0.5));
    EXPECT_TRUE(fails("Thre", -60.01));
    // A falling knob: 20 at position 0 down to 0.5.
    EXPECT_FALSE(fails("Hi F", 20.0));
    EXPECT_FALSE(fails("Hi F", 0.5));
    EXPECT_TRUE(fails("Hi F", 0.4));
    EXPECT_TRUE(fails("Hi F", 20.5));
    EXPECT_TRUE(fails("Lo F", 1.0));
    StageSettings s;
    s.preset = "Loud";
    EXPECT_THROW(Choose(s), CliError);
}

struct Pipeline {
    explicit Pipeline(int32_t channels = 2) {
        ApplySettings(state, StageSettings{}, 44100, channels);
    }
    PluginState state{nullptr};
};

TEST(ProcessPipeline, DelayingEffectGivesTheInputLengthSampleAligned) {
    const auto input = Ramp(10007);
    for (int32_t block : {64, 576, 4096}) {
        for (bool stutter : {false, true}) {
            Pipeline p;
            p.state.currentEffect = std::make_unique<LatentEffect>(2 * 1536, stutter);
            Source source(input, 2);
            Sink sink;
            RunOptions options;
            options.blockFrames = block;
            const RunReport report = RunAudioPath(p.state, {44100, 2, 16}, 10007, source, sink, options);
            EXPECT_EQ(report.outputFrames, 10007) << block;
            EXPECT_EQ(sink.values, input) << "block " << block << (stutter ? ", stuttering" : "");
        }
    }
}

// A length-changing effect's file holds all of the input, both ends
// included: 50 ms bursts 3 ms from either end come out at full level near
// their stretched places, at the knobs' extremes and in the presets; under
// PASS the file is the input.
struct StretchCase {
    EffectId effectId;
    const char* preset;
    double knob;    // the only knob (Tempo, Ratio); NaN: the preset's
    bool pass;
};

void PrintTo(const StretchCase& c, std::ostream* os) {
    *os << EffectText(c.effectId) << " " << c.preset << " " << c.knob << (c.pass ? " PASS" : "");
}

class LengthChanging : public ::testing::TestWithParam<StretchCase> {};

TEST_P(LengthChanging, KeepsBothEndsOfTheInput) {
    const StretchCase c = GetParam();
    const int32_t rate = 44100, frames = 44100, burst = 2205, edge = 132;
    analysis::Signal in;
    in.sampleRate = rate;
    in.channels = 2;
    in.samples.assign(2 * frames, 0.0);
    for (int32_t f = 0; f < frames; ++f) in.samples[2 * f] = in.samples[2 * f + 1] = std::round(300.0 * std::sin(0.01 * f));
    for (int32_t start : {edge, frames - edge - burst})
        for (int32_t i = 0; i < burst; ++i)
            in.samples[2 * (start + i)] = in.samples[2 * (start + i) + 1] = std::round(12000.0 * std::sin(0.3 * i));
    ProcessSettings settings;
    StageSettings& stage = settings.stages[0];
    stage.effectId = c.effectId;
    stage.preset = c.preset;
    if (!std::isnan(c.knob)) stage.knobs = {{c.effectId == EffectId::TempoScaler ? "Tempo" : "Ratio", c.knob}};
    if (c.pass) stage.channelMask = 0;
    const analysis::Signal out = ProcessSignal(in, settings);
    if (c.pass) {
        EXPECT_EQ(out.samples, in.samples);
        return;
    }
    PluginState state(nullptr);
    ApplySettings(state, stage, rate, 2);
    const double ratio = StageLengthRatio(state);
    const int64_t outFrames = static_cast<int64_t>(out.samples.size()) / 2;
    ASSERT_EQ(outFrames, StageOutputFrames(state, frames));
    const int64_t margin = (outFrames - std::llround(frames * ratio)) / 2;
    auto loud = [](const analysis::Signal& x, int64_t from, int64_t to) {
        double peak = 0.0;
        for (int64_t f = std::max<int64_t>(from, 0); f < std::min(to, x.Frames()); ++f)
            peak = std::max(peak, std::fabs(x.samples[2 * f]));
        return peak > 1500.0;
    };
    // Nothing cut at the start (the file does not open inside a burst), nor at
    // the end (what a tail adds after the file's end is quiet) ...
    EXPECT_FALSE(loud(out, 0, 32));
    settings.tailSeconds = 1.0;
    const analysis::Signal longer = ProcessSignal(in, settings);
    EXPECT_TRUE(std::equal(out.samples.begin(), out.samples.end(), longer.samples.begin()));
    EXPECT_FALSE(loud(longer, outFrames, longer.Frames()));
    // ... and each burst's image lies at margin + t x ratio, give or take the
    // margin (and, for the resampler, its filter's reach).
    for (const auto& [from, to] : {std::pair<double, double>{edge, edge + burst},
                                   std::pair<double, double>{frames - edge - burst, frames - edge}}) {
        const int64_t first = std::llround(from * ratio) - 100;
        const int64_t last = std::llround(to * ratio) + 2 * margin + 100;
        EXPECT_TRUE(loud(out, first, last)) << "burst at " << from;
    }
}

INSTANTIATE_TEST_SUITE_P(
    TempoAndRatioRanges, LengthChanging,
    ::testing::Values(StretchCase{EffectId::TempoScaler, "", 1.0, false},
                      StretchCase{EffectId::TempoScaler, "", -1.3, false},
                      StretchCase{EffectId::TempoScaler, "SpeedUp", NAN, false},
                      StretchCase{EffectId::TempoScaler, "SlowDown", NAN, false},
                      StretchCase{EffectId::TempoScaler, "", 1.0, true},
                      StretchCase{EffectId::Resampler, "", 1.0, false},
                      StretchCase{EffectId::Resampler, "", -1.5, false},
                      StretchCase{EffectId::Resampler, "DownSample", NAN, false},
                      StretchCase{EffectId::Resampler, "UpSample", NAN, false},
                      StretchCase{EffectId::Resampler, "", -1.0, true}));

TEST(ProcessPipeline, AnEffectThatNeverAnswersIsAnErrorNotAHang) {
    Pipeline p;
    p.state.currentEffect = std::make_unique<SilentEffect>();
    Source source(Ramp(1000), 2);
    Sink sink;
    try {
        RunAudioPath(p.state, {44100, 2, 16}, 1000, source, sink, RunOptions{});
        FAIL() << "no error";
    } catch (const CliError& e) {
        EXPECT_NE(std::string(e.what()).find("stopped producing output"), std::string::npos) << e.what();
    }
}

TEST(ProcessPipeline, SnapNoiseOnOtherEffectsIsCountedNotApplied) {
    Pipeline p;
    Source source(Ramp(44100), 2);
    Sink sink;
    RunOptions options;
    options.snapNoiseSeconds = {0.5, 0.2, 3.0};
    const RunReport report = RunAudioPath(p.state, {44100, 2, 16}, 44100, source, sink, options);
    EXPECT_EQ(report.snapsIgnored, 2);
    EXPECT_EQ(report.snapsBeyondEnd, 1);
}

}  // namespace
}  // namespace orve::cli
