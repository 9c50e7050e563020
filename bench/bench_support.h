#pragma once
// The one way every effect benchmark drives an effect: 44100 Hz stereo in
// 576-frame blocks, output capacity as the audio path offers it, and the
// real-time factor reported as audio seconds per second of the benchmark
// thread's CPU time (on a shared machine, wall time would mostly measure the
// neighbours).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/effect_processor.h"
#include "plugin/effect_catalogue.h"

namespace orve::bench {

constexpr int32_t kRate = 44100;
constexpr int32_t kChannels = 2;
constexpr int32_t kFrames = 576;

// About `blocks` blocks of programme: two tones, a 50 Hz hum, a high partial,
// a noise floor and a click every 50 ms, slightly different per channel, so
// that detectors, cancellers and spectral gains all see real material.
std::vector<double> Programme(int32_t blocks = 160);

// A catalogue effect at 44100 Hz stereo, with the linked-in impulse responses,
// and the given leading knob values (the rest at their defaults) passed
// through SetParameters.
std::unique_ptr<EffectProcessor> MakeWithKnobs(EffectId effectId, const std::vector<double>& knobs = {});

// Runs `effect` block after block over the looped programme. The work its
// knobs ask for (a room, converters) is built first, then one untimed pass,
// so buffers have grown and learning stages are over.
void RunRealTime(benchmark::State& state, EffectProcessor& effect,
                 const std::vector<double>& programme = Programme());

}  // namespace orve::bench
