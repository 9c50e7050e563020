// Demo cases of the dynamics and restoration effects: each synthesises the
// programme its effect is meant for and reports what changed in it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/measures.h"
#include "demo_cases.h"

namespace orve::demo {
namespace {

using analysis::Dbfs;
using analysis::kFullScale;
using analysis::Lcg;
using analysis::Rms;

// ---- Level Tuning ----------------------------------------------------------

// The gain stage of the audio path alone: the whole programme's level.
Measurement MeasureLevelChange(const Signal& input, const Signal& output) {
    const double before = Dbfs(Rms(input.samples)), after = Dbfs(Rms(output.samples));
    char text[96];
    std::snprintf(text, sizeof text, "level %+.2f dB (rms %.1f -> %.1f dBFS)", after - before, before, after);
    return {text, {{"change", after - before}}};
}

// ---- Level Dynamic ---------------------------------------------------------

// Phrases alternating between loud (about -7 dBFS RMS) and quiet (about
// -37 dBFS RMS), 0.5 s each: a programme with a 30 dB dynamic range.
Signal Phrases(int32_t sampleRate) {
    Signal s = analysis::Silence(sampleRate, 2, 4.0);
    const int64_t phrase = sampleRate / 2;
    for (int64_t f = 0; f < s.Frames(); ++f) {
        const double level = (f / phrase) % 2 ? 0.0224 : 0.708;
        const double t = static_cast<double>(f) / sampleRate;
        const double v = level * kFullScale * std::sqrt(2.0) * 0.7 *
                         (0.8 * std::sin(2 * M_PI * 220.0 * t) + 0.45 * std::sin(2 * M_PI * 660.0 * t));
        s.samples[2 * f] = s.samples[2 * f + 1] = v;
    }
    return s;
}

// Settled level of the loud and of the quiet phrases (the last 0.1 s of each,
// after attack and release have done their work) and the spread between them.
Measurement MeasureLevelRange(const Signal& input, const Signal& output) {
    auto levels = [](const Signal& s, double& loud, double& quiet) {
        const int64_t phrase = s.sampleRate / 2, window = s.sampleRate / 10;
        double loudSum = 0.0, quietSum = 0.0;
        int loudCount = 0, quietCount = 0;
        for (int64_t p = 0; (p + 1) * phrase <= s.Frames(); ++p) {
            const double db = Dbfs(Rms(s, (p + 1) * phrase - window, window));
            if (p % 2) quietSum += db, ++quietCount;
            else loudSum += db, ++loudCount;
        }
        loud = loudCount ? loudSum / loudCount : -200.0;
        quiet = quietCount ? quietSum / quietCount : -200.0;
    };
    double loudIn, quietIn, loudOut, quietOut;
    levels(input, loudIn, quietIn);
    levels(output, loudOut, quietOut);
    char text[160];
    std::snprintf(text, sizeof text, "level range %.1f dB -> %.1f dB (loud %.1f -> %.1f, quiet %.1f -> %.1f dBFS)",
                  loudIn - quietIn, loudOut - quietOut, loudIn, loudOut, quietIn, quietOut);
    return {text, {{"rangeOut", loudOut - quietOut}, {"quietChange", quietOut - quietIn}}};
}

// ---- DeNoise and DeHiss ----------------------------------------------------

// A chord of three tones from 1 s to 3 s under white noise of the given peak
// throughout: the first second lets DeNoise learn, the last is noise alone.
Signal ChordUnderNoise(int32_t sampleRate, double noisePeak, uint32_t seed) {
    Signal s = analysis::Silence(sampleRate, 2, 4.0);
    Lcg left(seed), right(seed + 1);
    for (int64_t f = 0; f < s.Frames(); ++f) {
        const double t = static_cast<double>(f) / sampleRate;
        double chord = 0.0;
        if (t >= 1.0 && t < 3.0)
            chord = 3000.0 * std::sin(2 * M_PI * 440.0 * t) + 2000.0 * std::sin(2 * M_PI * 554.4 * t) +
                    1500.0 * std::sin(2 * M_PI * 659.3 * t);
        s.samples[2 * f] = chord + noisePeak * left.Uniform();
        s.samples[2 * f + 1] = chord + noisePeak * right.Uniform();
    }
    return s;
}

// Steady broadband noise at about -36 dBFS, and hiss at about -44 dBFS.
Signal ChordInNoise(int32_t sampleRate) { return ChordUnderNoise(sampleRate, 900.0, 11); }
Signal ChordInHiss(int32_t sampleRate) { return ChordUnderNoise(sampleRate, 350.0, 21); }

// Noise floor where the noise is alone (the last 0.8 s), and the chord's 440 Hz
// partial where it plays (1.2 .. 2.8 s).
Measurement MeasureNoiseFloor(const Signal& input, const Signal& output) {
    const int32_t sr = input.sampleRate;
    const int64_t quietFirst = static_cast<int64_t>(3.2 * sr), quietCount = static_cast<int64_t>(0.8 * sr);
    const double floorIn = Dbfs(Rms(input, quietFirst, quietCount));
    const double floorOut = Dbfs(Rms(output, quietFirst, quietCount));
    const int64_t toneFirst = static_cast<int64_t>(1.2 * sr), toneCount = static_cast<int64_t>(1.6 * sr);
    const double toneIn = analysis::ToneAmplitude(input, 0, 440.0, toneFirst, toneCount);
    const double toneOut = analysis::ToneAmplitude(output, 0, 440.0, toneFirst, toneCount);
    const double partial = toneIn > 0.0 && toneOut > 0.0 ? 20.0 * std::log10(toneOut / toneIn) : -200.0;
    char text[160];
    std::snprintf(text, sizeof text, "noise floor %.1f -> %.1f dBFS; 440 Hz partial %+.2f dB", floorIn, floorOut,
                  partial);
    return {text, {{"floorDrop", floorIn - floorOut}, {"partial", partial}}};
}

// ---- DeClick ---------------------------------------------------------------

constexpr int kClicks = 60;

// Where the clicks of the programme sit, and how long each is (1 to 5 samples).
struct ClickPlan {
    int64_t position[kClicks];
    int32_t length[kClicks];
};

ClickPlan PlanClicks(int32_t sampleRate) {
    ClickPlan plan{};
    Lcg jitters(31);
    const int64_t spacing = static_cast<int64_t>(3.6 * sampleRate) / kClicks;
    for (int i = 0; i < kClicks; ++i) {
        const double jitter = 0.5 * (jitters.Uniform() + 1.0);
        plan.position[i] = static_cast<int64_t>(0.2 * sampleRate) + i * spacing + static_cast<int64_t>(jitter * spacing / 2);
        plan.length[i] = 1 + i % 5;
    }
    return plan;
}

// A sung-vowel-like tone (180 Hz with harmonics) over faint hiss, as the clean
// reference; the demo input adds ringing clicks of 8000..16000 to it.
Signal VowelClean(int32_t sampleRate) {
    Signal s = analysis::Silence(sampleRate, 2, 4.0);
    Lcg hiss(41);
    for (int64_t f = 0; f < s.Frames(); ++f) {
        const double t = 2 * M_PI * 180.0 * f / sampleRate;
        const double v = 5000.0 * std::sin(t) + 2500.0 * std::sin(2 * t + 0.4) + 1500.0 * std::sin(3 * t + 1.3) +
                         600.0 * std::sin(5 * t + 2.0);
        s.samples[2 * f] = std::round(v + 100.0 * hiss.Uniform());
        s.samples[2 * f + 1] = std::round(v + 100.0 * hiss.Uniform());
    }
    return s;
}

Signal VowelWithClicks(int32_t sampleRate) {
    Signal s = VowelClean(sampleRate);
    const ClickPlan plan = PlanClicks(sampleRate);
    for (int i = 0; i < kClicks; ++i) {
        const double peak = (i % 2 ? -1.0 : 1.0) * (8000.0 + 8000.0 * (i % 7) / 6.0);
        for (int32_t k = 0; k < plan.length[i]; ++k) {
            const int64_t f = plan.position[i] + k;
            const double v = peak * std::pow(-0.6, k);
            s.samples[2 * f] += v;
            s.samples[2 * f + 1] += v;
        }
    }
    return s;
}

// Error against the clean programme around each click, both channels; a click
// counts as repaired when its error falls below a tenth of what it was.
Measurement MeasureClicks(const Signal& input, const Signal& output) {
    const Signal clean = VowelClean(input.sampleRate);
    const ClickPlan plan = PlanClicks(input.sampleRate);
    int repaired = 0;
    double before = 0.0, after = 0.0;
    for (int i = 0; i < kClicks; ++i) {
        double worstIn = 0.0, worstOut = 0.0;
        for (int64_t f = plan.position[i] - 2; f < plan.position[i] + plan.length[i] + 2; ++f)
            for (int c = 0; c < 2; ++c) {
                const size_t v = static_cast<size_t>(f * 2 + c);
                if (v >= output.samples.size()) continue;
                worstIn = std::max(worstIn, std::fabs(input.samples[v] - clean.samples[v]));
                worstOut = std::max(worstOut, std::fabs(output.samples[v] - clean.samples[v]));
            }
        repaired += worstOut < 0.1 * worstIn;
        before += worstIn / kClicks;
        after += worstOut / kClicks;
    }
    char text[160];
    std::snprintf(text, sizeof text, "%d of %d clicks repaired; mean peak error at clicks %.0f -> %.0f", repaired,
                  kClicks, before, after);
    return {text, {{"repaired", repaired}, {"errorRatio", after / before}}};
}

}  // namespace

std::vector<DemoCase> RestorationDemos() {
    std::vector<DemoCase> cases;
    cases.push_back({"level-tuning", EffectId::LevelTuning, "", {}, 0.0, StandardProgramme, MeasureLevelChange,
                     {{"change", 5.99, 6.01}}, 6.0});
    // Ratio 6 above -24 dBFS: the loud phrases come down by about 15 dB, the
    // quiet ones (below the threshold) stay where they are.
    cases.push_back({"level-dynamic", EffectId::LevelDynamic, "", {{"Thresh", -24.0}, {"Release", 80.0}, {"Ratio", 6.0}},
                     0.0, Phrases, MeasureLevelRange, {{"rangeOut", 13.0, 18.0}, {"quietChange", -0.3, 0.3}}});
    cases.push_back({"declick", EffectId::DeClick, "", {}, 0.0, VowelWithClicks, MeasureClicks,
                     {{"repaired", 50, 60}, {"errorRatio", 0.0, 0.2}}});
    cases.push_back({"dehiss", EffectId::DeHiss, "", {}, 0.0, ChordInHiss, MeasureNoiseFloor,
                     {{"floorDrop", 30.0, 60.0}, {"partial", -3.5, 0.5}}});
    cases.push_back({"denoise", EffectId::DeNoise, "", {}, 0.0, ChordInNoise, MeasureNoiseFloor,
                     {{"floorDrop", 30.0, 60.0}, {"partial", -0.5, 0.5}}});
    return cases;
}

}  // namespace orve::demo
