#include "support/test_signals.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "dsp/effect_processor.h"

namespace orve::test {

std::vector<double> Sine(double frequency, double sampleRate, int32_t frames, int32_t channels,
                         double amplitude, double phase) {
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

double Rms(const std::vector<double>& x, size_t first, size_t stride, size_t count) {
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = first; i < x.size() && n < count; i += stride, ++n) sum += x[i] * x[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

double ToneAmplitude(const std::vector<double>& x, int32_t channels, int32_t channel, double frequency,
                     double sampleRate, size_t firstFrame, size_t frames) {
    double re = 0.0, im = 0.0;
    for (size_t f = 0; f < frames; ++f) {
        const size_t i = (firstFrame + f) * channels + channel;
        if (i >= x.size()) break;
        const double w = 2.0 * M_PI * frequency * static_cast<double>(firstFrame + f) / sampleRate;
        re += x[i] * std::cos(w);
        im -= x[i] * std::sin(w);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(frames);
}

double MaxDifference(const std::vector<double>& a, const std::vector<double>& b, int32_t channels,
                     int32_t channel) {
    const size_t count = std::min(a.size(), b.size());
    const size_t first = channel < 0 ? 0 : static_cast<size_t>(channel);
    const size_t stride = channel < 0 ? 1 : static_cast<size_t>(channels);
    double worst = 0.0;
    for (size_t i = first; i < count; i += stride) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

std::vector<double> RunBlocks(EffectProcessor& effect, const std::vector<double>& input, int32_t channels,
                              int32_t blockFrames, int32_t channelMask) {
    std::vector<double> output;
    std::vector<double> block;
    const size_t blockValues = static_cast<size_t>(blockFrames) * channels;
    for (size_t start = 0; start < input.size(); start += blockValues) {
        const size_t count = std::min(blockValues, input.size() - start);
        const int32_t T = static_cast<int32_t>(count);
        const int32_t extra = effect.ExtraOutput();
        const int32_t capacity = extra > T ? 2 * T : (extra > 0 ? T + extra : T);
        block.assign(input.begin() + start, input.begin() + start + count);
        block.resize(std::max<size_t>(count, capacity));
        // As the audio path without a worker: rebuilds asked for since the
        // last block are made before this one.
        RunWorkNow(effect);
        const int32_t produced = effect.ProcessBlock(block.data(), block.data(), T, capacity, channelMask);
        output.insert(output.end(), block.begin(), block.begin() + produced);
    }
    return output;
}

}  // namespace orve::test
