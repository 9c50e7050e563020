#pragma once
// What `orve demo` runs: one case per effect setting, each with the programme
// it is fed and the figure that shows what it did.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "plugin/effect_catalogue.h"

namespace orve::demo {

// Interleaved doubles on the 16-bit scale.
struct Signal {
    int32_t sampleRate = 44100;
    int32_t channels = 2;
    std::vector<double> samples;
    int64_t Frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

struct DemoCase {
    std::string name;                 // output file stem, e.g. "denoise"
    EffectId effectId;
    std::string preset;               // empty: knob defaults
    std::vector<std::pair<std::string, double>> knobs;  // label = value, applied after the preset
    double tailSeconds = 0.0;         // extra silence fed after the input (reverbs)
    Signal (*makeInput)(int32_t sampleRate);
    // One line: what the effect measurably did, e.g. "hum 50 Hz -20.0 dB -> -61.3 dB".
    std::string (*measure)(const Signal& input, const Signal& output);
};

// The standard programme: tones, speech-like bursts, hiss, hum and clicks.
Signal StandardProgramme(int32_t sampleRate);

// Each group of effects contributes its cases, each in its own file.
std::vector<DemoCase> RestorationDemos();        // dynamics, noise, hiss, clicks
std::vector<DemoCase> HumEssVocalDemos();        // de-ess, de-hum, de-vocal
std::vector<DemoCase> EqualiserSpatialDemos();   // equalisers, modal reverb
std::vector<DemoCase> KernelDemos();             // sampled reverb, 3D
std::vector<DemoCase> TimePitchDemos();          // pitch, tempo, resampler, vibrato, whisper

}  // namespace orve::demo
