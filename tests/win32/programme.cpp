#include "win32/programme.h"

#include <cmath>
#include <cstdio>

#include "plugin/effect_catalogue.h"

namespace orve::wintest {
namespace {

constexpr int32_t kDeNoiseId = EffectNumber(EffectId::DeNoise);
constexpr int32_t kModalReverbId = EffectNumber(EffectId::ModalReverb);
constexpr int32_t kSampleReverbId = EffectNumber(EffectId::SampleReverb);
constexpr int32_t kResamplerId = EffectNumber(EffectId::Resampler);

}  // namespace

std::vector<int16_t> ProgrammeBlock(int blockIndex, int channels) {
    std::vector<int16_t> block(static_cast<size_t>(kProgrammeFrames) * channels * 2, 0);
    uint32_t seed = 1234567u + blockIndex * 7919u;
    for (int f = 0; f < kProgrammeFrames; ++f) {
        const double t = (blockIndex * kProgrammeFrames + f) / 44100.0;
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<int32_t>(seed >> 16) - 32768) / 32768.0;
            const double v = 9000.0 * std::sin(2 * M_PI * (220.0 + 110.0 * c) * t) +
                             4000.0 * std::sin(2 * M_PI * 3150.0 * t) + 800.0 * noise;
            block[static_cast<size_t>(f) * channels + c] = static_cast<int16_t>(v);
        }
    }
    return block;
}

void AudioDigest::Add(int32_t frames, const int16_t* values, int32_t count) {
    auto mix = [this](uint32_t word) {
        for (int b = 0; b < 4; ++b) {
            hash ^= (word >> (8 * b)) & 0xFFu;
            hash *= 1099511628211ull;
        }
    };
    mix(static_cast<uint32_t>(frames));
    for (int32_t i = 0; i < count; ++i) mix(static_cast<uint16_t>(values[i]));
}

std::string AudioDigest::Hex() const {
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool ComparesAudio(int32_t effectId) { return effectId != kModalReverbId; }

void PlayProgramme(int32_t effectId, int32_t presetCount, ProgrammePlayer& player) {
    if (!player.Play(0, kProgrammeBlocks)) return;
    if (effectId == kDeNoiseId) {
        // A new learning stretch starts at the same block in every build.
        player.SnapNoise();
        if (!player.Play(kProgrammeBlocks, 3)) return;
    }
    if (presetCount <= 0) return;
    const int32_t row = presetCount > 1 ? presetCount / 2 - (presetCount % 2 == 0 ? 1 : 0) : 0;
    if (!player.ChoosePreset(row)) return;
    if (effectId == kSampleReverbId || effectId == kResamplerId) return;
    player.Play(kProgrammeBlocks, 2);
}

}  // namespace orve::wintest
