#pragma once
// What `orve demo` runs: one case per effect setting, each with the programme
// it is fed, the figures that show what it did, and the range each of those
// figures is expected to fall in. The demo prints the figures; the test suite
// holds every case to its expectations.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/signals.h"
#include "plugin/effect_catalogue.h"

namespace orve::demo {

using analysis::Signal;

// What a case measured: the line the demo prints and its figures by name.
struct Measurement {
    std::string text;
    std::vector<std::pair<std::string, double>> figures;
};

// A figure that must lie in [low, high].
struct Expectation {
    std::string figure;
    double low;
    double high;
};

struct DemoCase {
    std::string name;                 // output file stem, e.g. "denoise"
    EffectId effectId;
    std::string preset;               // empty: knob defaults
    std::vector<std::pair<std::string, double>> knobs;  // label = value, applied after the preset
    double tailSeconds = 0.0;         // extra silence fed after the input (reverbs)
    Signal (*makeInput)(int32_t sampleRate);
    Measurement (*measure)(const Signal& input, const Signal& output);
    std::vector<Expectation> expected;
    std::optional<double> gainDb = std::nullopt;   // empty: the preset's gain, else 0 dB
};

// A case's result: the measurement and one line per figure outside its range.
struct CaseResult {
    Signal input;
    Signal output;
    Measurement measurement;
    std::vector<std::string> unmet;
};
// Synthesises the case's input at `sampleRate`, runs it through the pipeline
// of `orve process` and measures it. Throws CliError like `orve process`.
CaseResult RunCase(const DemoCase& demoCase, int32_t sampleRate = 44100);

// Every case, in the order the demo prints them.
std::vector<DemoCase> AllCases();

using analysis::StandardProgramme;

// Each group of effects contributes its cases, each in its own file.
std::vector<DemoCase> RestorationDemos();        // level, dynamics, noise, hiss, clicks
std::vector<DemoCase> HumEssVocalDemos();        // de-ess, de-hum, de-vocal
std::vector<DemoCase> EqualiserSpatialDemos();   // equalisers, modal reverb
std::vector<DemoCase> KernelDemos();             // sampled reverb, 3D
std::vector<DemoCase> TimePitchDemos();          // pitch, tempo, resampler, vibrato, whisper

}  // namespace orve::demo
