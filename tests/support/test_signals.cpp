#include "support/test_signals.h"

#include <algorithm>

#include "dsp/effect_processor.h"

namespace orve::test {

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
        const int32_t produced = effect.ProcessBlock(block.data(), block.data(), T, capacity, channelMask);
        output.insert(output.end(), block.begin(), block.begin() + produced);
    }
    return output;
}

}  // namespace orve::test
