#pragma once
// Test signals and the signal record the demo, the tests and the benchmarks
// share. Never part of the plug-in: these exist to feed and judge effects.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orve::analysis {

// Interleaved doubles on the 16-bit scale, with their format.
struct Signal {
    int32_t sampleRate = 44100;
    int32_t channels = 2;
    std::vector<double> samples;

    int64_t Frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
    // One channel's samples.
    std::vector<double> Channel(int32_t channel) const;
};

// A silent signal of the given length.
Signal Silence(int32_t sampleRate, int32_t channels, double seconds);

// Interleaved sine of `frames` frames, the same on every channel.
std::vector<double> Sine(double frequency, double sampleRate, int32_t frames, int32_t channels, double amplitude,
                         double phase = 0.0);

// Deterministic white noise, uniform in [-amplitude, amplitude].
std::vector<double> Noise(int32_t count, double amplitude, uint32_t seed);

// A 32-bit linear congruential generator (x = 1664525 x + 1013904223): cheap,
// deterministic white noise whose values are the same on every platform.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : state(seed) {}
    // Uniform in [-1, 1), from the top 24 bits.
    double Uniform() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }

private:
    uint32_t state;
};

// Six seconds of stereo on the 16-bit scale, the same on every run: hiss and
// mains hum throughout, a chord panned apart, speech-like bursts with an "s"
// after every third, a tone under clicks. Something for every effect.
Signal StandardProgramme(int32_t sampleRate);

}  // namespace orve::analysis
