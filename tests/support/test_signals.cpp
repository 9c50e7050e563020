#include "support/test_signals.h"

#include <algorithm>

#include <cmath>

#include "dsp/effect_processor.h"
#include "dsp/fft_engine.h"
#include "platform/posix/embedded_kernels.h"
#include "plugin/effect_factory.h"

namespace orve::test {

std::vector<double> Spectrum(const double* x, int32_t n) {
    std::vector<double> X(x, x + n);
    FftEngine fft(n, FftKind::Real);
    fft.ForwardReal(X.data());
    return X;
}

double BinMagnitude(const std::vector<double>& X, int32_t k) {
    const int32_t n = static_cast<int32_t>(X.size());
    if (k == 0) return std::abs(X[0]);
    if (k == n / 2) return std::abs(X[n - 1]);
    return std::hypot(X[2 * k - 1], X[2 * k]);
}

size_t LeadingSilence(const std::vector<double>& x, int32_t channels, int32_t channel) {
    size_t f = 0;
    while (f * channels + channel < x.size() && x[f * channels + channel] == 0.0) ++f;
    return f;
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

std::unique_ptr<EffectProcessor> BuildAtDefaults(EffectId id, int32_t channels) {
    static EmbeddedKernels kernels;
    EffectBuildContext context{44100, channels, &kernels, nullptr};
    context.seed = 1;
    std::unique_ptr<EffectProcessor> effect = MakeEffect(id, context);
    KnobSpec table[kMaxKnobs];
    double values[kMaxKnobs] = {};
    const int32_t count = effect->DescribeKnobs(table);
    for (int32_t k = 0; k < count; ++k) values[k] = table[k].defaultValue;
    effect->SetParameters(values);
    return effect;
}

}  // namespace orve::test
