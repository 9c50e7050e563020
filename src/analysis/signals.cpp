#include "analysis/signals.h"

#include <cmath>
#include <random>

namespace orve::analysis {

std::vector<double> Signal::Channel(int32_t channel) const {
    std::vector<double> x;
    if (channels <= 0) return x;
    x.reserve(samples.size() / channels);
    for (size_t i = channel; i < samples.size(); i += channels) x.push_back(samples[i]);
    return x;
}

Signal Silence(int32_t sampleRate, int32_t channels, double seconds) {
    Signal s;
    s.sampleRate = sampleRate;
    s.channels = channels;
    s.samples.assign(static_cast<size_t>(seconds * sampleRate) * channels, 0.0);
    return s;
}

std::vector<double> Sine(double frequency, double sampleRate, int32_t frames, int32_t channels, double amplitude,
                         double phase) {
    std::vector<double> x(static_cast<size_t>(frames) * channels);
    for (int32_t f = 0; f < frames; ++f) {
        const double v = amplitude * std::sin(2.0 * M_PI * frequency * f / sampleRate + phase);
        for (int32_t c = 0; c < channels; ++c) x[static_cast<size_t>(f) * channels + c] = v;
    }
    return x;
}

std::vector<double> Noise(int32_t count, double amplitude, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-amplitude, amplitude);
    std::vector<double> x(count);
    for (auto& v : x) v = u(rng);
    return x;
}

}  // namespace orve::analysis
