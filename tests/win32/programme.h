#pragma once
// The audio programme every build of the plug-in plays in the Windows tests,
// and the digest by which two builds show they returned the same samples. The
// test host plays it through each DLL under Wine; the native reference plays
// it through the portable core. Portable: no Windows header.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "plugin/effect_catalogue.h"

namespace orve::wintest {

constexpr int kProgrammeFrames = 1152;
constexpr int kProgrammeBlocks = 6;

// Block `blockIndex` of the programme, 16-bit interleaved, with room for a
// block the effect lengthens: tones, a sweep of levels and some noise,
// different on the two channels, so that every effect has something to act on.
inline std::vector<int16_t> ProgrammeBlock(int blockIndex, int channels) {
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

// 64-bit FNV-1a over the frame counts and samples a build returned.
class AudioDigest {
public:
    void Add(int32_t frames, const int16_t* values, int32_t count) {
        Mix(static_cast<uint32_t>(frames));
        for (int32_t i = 0; i < count; ++i) Mix(static_cast<uint16_t>(values[i]));
    }
    std::string Hex() const {
        char text[20];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
        return text;
    }

private:
    void Mix(uint32_t word) {
        for (int b = 0; b < 4; ++b) hash = (hash ^ ((word >> (8 * b)) & 0xFFu)) * 1099511628211ull;
    }
    uint64_t hash = 14695981039346656037ull;
};

// Whether an effect's output is compared: the modal reverb's late tail is
// seeded from the clock, so two builds only agree when made in the same second.
inline bool ComparesAudio(int32_t effectId) { return effectId != EffectNumber(EffectId::ModalReverb); }

// The programme of one effect, freshly selected with its default knobs: six
// blocks; for the noise remover Snap Noise and three more; for an effect with
// presets a row from the middle of its list and two more, unless that row
// makes the effect rebuild (a room, the resampler's converters): the plug-in
// builds on its worker thread and swaps the result in when it is ready, the
// core before the next block, so the blocks right after differ by design.
// The player's Play(first, count) plays blocks first .. first + count - 1,
// its ChoosePreset(row) chooses a row of the preset list; either ends the
// programme by returning false.
template <typename Player>
void PlayProgramme(int32_t effectId, int32_t presetCount, Player& player) {
    if (!player.Play(0, kProgrammeBlocks)) return;
    if (effectId == EffectNumber(EffectId::DeNoise)) {
        // A new learning stretch starts at the same block in every build.
        player.SnapNoise();
        if (!player.Play(kProgrammeBlocks, 3)) return;
    }
    if (presetCount <= 0) return;
    const int32_t row = presetCount > 1 ? presetCount / 2 - (presetCount % 2 == 0 ? 1 : 0) : 0;
    if (!player.ChoosePreset(row)) return;
    if (effectId == EffectNumber(EffectId::SampleReverb) || effectId == EffectNumber(EffectId::Resampler)) return;
    player.Play(kProgrammeBlocks, 2);
}

}  // namespace orve::wintest
