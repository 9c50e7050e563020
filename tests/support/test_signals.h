#pragma once
// Signals and measurements for the tests: the shared analysis library, and
// the one way the tests drive an effect block by block.
#include <cstdint>
#include <vector>

#include "analysis/measures.h"

#include <memory>

#include "plugin/effect_catalogue.h"

namespace orve::test {

using analysis::CrossingFrequency;
using analysis::MaxDifference;
using analysis::Noise;
using analysis::Decibels;
using analysis::Rms;
using analysis::Sine;
using analysis::ToneAmplitude;

// The packed half spectrum of n samples (FftEngine's layout), and the
// magnitude of its bin k.
std::vector<double> Spectrum(const double* x, int32_t n);
double BinMagnitude(const std::vector<double>& spectrum, int32_t k);

// Frames before the first non-zero sample of one channel.
size_t LeadingSilence(const std::vector<double>& x, int32_t channels = 1, int32_t channel = 0);

// Runs an effect over an interleaved stream in blocks of `blockFrames`, offering
// each call the output capacity the audio path would and running its pending
// work before each block as the audio path does, and returns everything it
// produced, in order.
std::vector<double> RunBlocks(EffectProcessor& effect, const std::vector<double>& input,
                              int32_t channels, int32_t blockFrames, int32_t channelMask = 3);

// A catalogue effect built for 44100 Hz at its knob defaults, as the window
// hands them over, its random parts seeded so that a failure replays.
std::unique_ptr<EffectProcessor> BuildAtDefaults(EffectId id, int32_t channels);

}  // namespace orve::test
