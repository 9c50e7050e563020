// The audio path under whatever a player may hand it, in the sanitizer build:
// every effect, stream formats inside and outside the operating range, block
// sizes from 0 up, and knobs, presets, gain and switches moved between blocks.
// AddressSanitizer and UBSan stop the run at the first bad access or overflow;
// the test itself checks what they cannot see.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "dsp/operating_range.h"
#include "platform/posix/embedded_kernels.h"
#include "plugin/audio_path.h"
#include "plugin/effect_catalogue.h"
#include "plugin/plugin_state.h"

namespace orve {
namespace {

struct Format {
    int32_t sampleRate, channels, bits;
};

// A stream format: mostly inside the range, a third of the time outside it in
// rate, channel count or width (the path must pass those through untouched).
Format RandomFormat(std::mt19937& random) {
    const int32_t inside[] = {kMinSampleRate, 11025, 22050, 44100, 48000, 96000, kMaxSampleRate};
    const int32_t outside[] = {INT_MIN, -44100, 0, 1, 7, kMinSampleRate - 1, kMaxSampleRate + 1, INT_MAX};
    const int32_t widths[] = {8, 16, 32};
    const int32_t oddWidths[] = {0, 12, 24, 64};
    Format f{inside[random() % 7], kMinChannels + static_cast<int32_t>(random() % kMaxChannels), widths[random() % 3]};
    switch (random() % 9) {
        case 0: f.sampleRate = outside[random() % 8]; break;
        case 1: f.channels = static_cast<int32_t>(random() % 17); break;   // 0 to 16
        case 2: f.bits = oddWidths[random() % 4]; break;
        default: break;
    }
    return f;
}

// Mostly the small blocks a player hands over, now and then none or a large one.
int32_t RandomFrames(std::mt19937& random) {
    const uint32_t pick = random() % 64;
    if (pick == 0) return 0;
    if (pick == 1) return 4096 + static_cast<int32_t>(random() % 12289);
    return 1 + static_cast<int32_t>(random() % 300);
}

// What the window may do between two blocks, under the lock as it does it.
void MoveControls(PluginState& state, std::mt19937& random) {
    PluginState::Lock lock(state.processingLock);
    EffectProcessor* effect = state.currentEffect.get();
    switch (random() % 4) {
        case 0: {   // a preset row, its gain with it
            const EffectPreset* table = nullptr;
            const int32_t rows = effect ? effect->GetPresets(&table) : 0;
            if (rows == 0) break;
            const double* row = table[random() % rows].values;
            state.outputGain = std::pow(10.0, row[0] / 20.0);
            for (int32_t k = 0; k < state.knobCount; ++k) state.parameterValues[k] = row[k + 1];
            effect->SetParameters(state.parameterValues);
            break;
        }
        case 1:   // the gain slider anywhere, the switches any way
            state.outputGain = GainPositionToFactor(static_cast<int32_t>(random() % 10001));
            state.channelMask = static_cast<int32_t>(random() % 4);
            break;
        default:   // every knob anywhere, the ends included
            if (!effect) break;
            for (int32_t k = 0; k < state.knobCount; ++k) {
                const uint32_t r = random() % 10;
                const int32_t at = r == 0 ? 0 : (r == 1 ? kKnobPositionMax : static_cast<int32_t>(random() % 10001));
                state.parameterValues[k] = KnobValueAt(state.knobTable[k], at);
            }
            effect->SetParameters(state.parameterValues);
    }
}

TEST(AudioPathSweep, EveryEffectEveryFormatStaysInItsBlockAndFinite) {
    EmbeddedKernels kernels;
    std::mt19937 random(20261207u);
    constexpr int32_t kFormatsPerEffect = 24;
    constexpr int32_t kBlocksPerFormat = 200;
    static_assert(int64_t{kEffectCount} * kFormatsPerEffect * kBlocksPerFormat >= 100000, "a sweep of 10^5 blocks");
    for (int32_t number = 0; number < kEffectCount; ++number) {
        const EffectId id = static_cast<EffectId>(number);
        PluginState state(nullptr, &kernels, nullptr);
        state.effectId = id;
        state.effectSeed = 1;   // the modal reverb's tails, so that a failure replays
        for (int32_t f = 0; f < kFormatsPerEffect; ++f) {
            const Format format = RandomFormat(random);
            const bool outside = !InOperatingRange(format.sampleRate, format.channels) ||
                                 !SupportedSampleBits(format.bits);
            const size_t bytesPerValue = format.bits == 8 ? 1 : (format.bits == 16 ? 2 : 4);
            for (int32_t b = 0; b < kBlocksPerFormat; ++b) {
                const int32_t frames = RandomFrames(random);
                if (random() % 8 == 0) MoveControls(state, random);
                // Room for twice the block, as the path asks of its host, and
                // not a byte more: AddressSanitizer catches a longer write.
                const size_t bytes = 2 * static_cast<size_t>(frames) * format.channels * bytesPerValue;
                std::unique_ptr<uint8_t[]> host(new uint8_t[std::max<size_t>(bytes, 1)]);
                for (size_t i = 0; i < bytes; ++i) host[i] = static_cast<uint8_t>(random());
                std::unique_ptr<uint8_t[]> before(new uint8_t[std::max<size_t>(bytes, 1)]);
                std::memcpy(before.get(), host.get(), bytes);

                const bool passes = outside || state.channelMask == 0;
                const int32_t got =
                    ModifySamples(state, host.get(), frames, format.bits, format.channels, format.sampleRate);
                ASSERT_GE(got, 0) << EffectText(id);
                ASSERT_LE(got, 2 * frames) << EffectText(id) << " at " << format.sampleRate << " Hz";
                if (passes) {
                    ASSERT_EQ(got, frames) << EffectText(id);
                    ASSERT_EQ(std::memcmp(host.get(), before.get(), bytes), 0)
                        << EffectText(id) << " touched a block at " << format.sampleRate << " Hz, "
                        << format.channels << " channels, " << format.bits << " bits";
                }
            }
        }
        EXPECT_EQ(state.nonFiniteSamples, 0) << EffectText(id);
    }
}

}  // namespace
}  // namespace orve
