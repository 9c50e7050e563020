#pragma once
// Signals and measurements shared by the tests.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orve {
class EffectProcessor;
}

namespace orve::test {

// Interleaved sine of `frames` frames, the same on every channel.
std::vector<double> Sine(double frequency, double sampleRate, int32_t frames, int32_t channels,
                         double amplitude, double phase = 0.0);
// Deterministic white noise, uniform in [-amplitude, amplitude].
std::vector<double> Noise(int32_t count, double amplitude, uint32_t seed);
// Root mean square of up to `count` values taken every `stride` from `first`.
double Rms(const std::vector<double>& x, size_t first = 0, size_t stride = 1, size_t count = SIZE_MAX);
// Amplitude of the component at `frequency` in one channel (single-bin DFT).
double ToneAmplitude(const std::vector<double>& x, int32_t channels, int32_t channel,
                     double frequency, double sampleRate, size_t firstFrame, size_t frames);
// Largest |a - b| over the values both hold, of one channel (channel >= 0)
// or of all values (channel < 0).
double MaxDifference(const std::vector<double>& a, const std::vector<double>& b, int32_t channels = 1,
                     int32_t channel = -1);
// Runs an effect over an interleaved stream in blocks of `blockFrames`, offering
// each call the output capacity the audio path would and running its pending
// work before each block as the audio path does, and returns everything it
// produced, in order.
std::vector<double> RunBlocks(EffectProcessor& effect, const std::vector<double>& input,
                              int32_t channels, int32_t blockFrames, int32_t channelMask = 3);

}  // namespace orve::test
