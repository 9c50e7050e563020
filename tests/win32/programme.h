#pragma once
// The audio programme every build of the plug-in plays in the Windows tests,
// and the digest by which two builds show they returned the same samples. The
// test host plays it through each DLL under Wine; the native reference plays
// it through the portable core. Portable: no Windows header.
#include <cstdint>
#include <string>
#include <vector>

namespace orve::wintest {

constexpr int kProgrammeFrames = 1152;
constexpr int kProgrammeBlocks = 6;

// Block `blockIndex` of the programme, 16-bit interleaved, with room for a
// block the effect lengthens: tones, a sweep of levels and some noise,
// different on the two channels, so that every effect has something to act on.
std::vector<int16_t> ProgrammeBlock(int blockIndex, int channels);

// 64-bit FNV-1a over the frame counts and samples a build returned.
class AudioDigest {
public:
    void Add(int32_t frames, const int16_t* values, int32_t count);
    std::string Hex() const;

private:
    uint64_t hash = 14695981039346656037ull;
};

// Whether an effect's output is compared: the modal reverb's late tail is
// seeded from the clock, so two builds only agree when made in the same second.
bool ComparesAudio(int32_t effectId);

// What the programme does to one effect, by whoever plays it.
class ProgrammePlayer {
public:
    virtual ~ProgrammePlayer() = default;
    // Plays blocks first .. first + count - 1; false ends the programme.
    virtual bool Play(int first, int count) = 0;
    virtual void SnapNoise() = 0;
    // Chooses a row of the effect's preset list; false ends the programme.
    virtual bool ChoosePreset(int32_t row) = 0;
};

// The programme of one effect, freshly selected with its default knobs: six
// blocks; for the noise remover Snap Noise and three more; for an effect with
// presets a row from the middle of its list and two more, unless that row
// makes the effect rebuild (a room, the resampler's converters): the plug-in
// builds on its worker thread and swaps the result in when it is ready, the
// core before the next block, so the blocks right after differ by design.
void PlayProgramme(int32_t effectId, int32_t presetCount, ProgrammePlayer& player);

}  // namespace orve::wintest
