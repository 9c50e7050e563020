#include "effects/spatial/sample_reverb.h"

#include <algorithm>
#include <cmath>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Type", 14.0, 1.0, 1.0, "",
     "The room, numbered 1 to 14 as in the preset list (1 Amphitheater to 14 Studio); it is chosen "
     "through the preset list."},
};

const double kRoomRows[kRoomCount][2] = {
    {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7},
    {0, 8}, {0, 9}, {0, 10}, {0, 11}, {0, 12}, {0, 13}, {0, 14},
};
// The names are the rooms' 12-character names; the last row doubles as the
// user's own setting in the window.
const EffectPreset kPresets[kRoomCount] = {
    {"Amphitheater", kRoomRows[0]}, {"Auditorium  ", kRoomRows[1]}, {"Cave        ", kRoomRows[2]},
    {"Chapel      ", kRoomRows[3]}, {"Club        ", kRoomRows[4]}, {"ConcertHall ", kRoomRows[5]},
    {"Hallway     ", kRoomRows[6]}, {"InCar       ", kRoomRows[7]}, {"MediumHall  ", kRoomRows[8]},
    {"OperaHouse  ", kRoomRows[9]}, {"SmallRoom   ", kRoomRows[10]}, {"Stadium     ", kRoomRows[11]},
    {"Stairway    ", kRoomRows[12]}, {"Studio      ", kRoomRows[13]},
};

uint32_t ReadU32(const int16_t* values, size_t at) {
    return static_cast<uint32_t>(static_cast<uint16_t>(values[at])) |
           (static_cast<uint32_t>(static_cast<uint16_t>(values[at + 1])) << 16);
}

}  // namespace

RoomEntry ReadRoomEntry(const int16_t* kernelData, int32_t roomType) {
    const size_t at = static_cast<size_t>(roomType - 1) * 4;
    return {ReadU32(kernelData, at), ReadU32(kernelData, at + 2)};
}

bool RoomSetFits(const int16_t* kernelData, size_t count) {
    if (count < static_cast<size_t>(4 * kRoomCount)) return false;
    for (int32_t type = 1; type <= kRoomCount; ++type) {
        const RoomEntry entry = ReadRoomEntry(kernelData, type);
        if (entry.length < 2 || entry.length % 2 != 0) return false;
        if (static_cast<uint64_t>(entry.offset) + entry.length > count) return false;
    }
    return true;
}

// One room's responses for the ears, weighted as they are played.
class SampleReverb::RoomExtract : public KernelBuild {
public:
    RoomExtract(const int16_t* kernelData, int32_t ears)
        : KernelBuild(ears, kConvolutionLevels), kernelData(kernelData) {}
    int32_t roomType = 1;

private:
    void BuildResponses(std::vector<double> (&taps)[kMaxEars]) override {
        const RoomEntry entry = ReadRoomEntry(kernelData, roomType);
        const int32_t half = static_cast<int32_t>(entry.length / 2);
        // Full scale becomes 0.5. The stored rooms decay inside their length
        // (each is 60 dB down over its last tenth), so the response is played
        // as it is; only its last 5 % is tapered with a half cosine, so that
        // a cut-off step can never be heard. An exponential fade over the
        // whole length would shorten every room, the long ones most.
        const int32_t taper = std::max<int32_t>(1, half / 20);
        for (int32_t e = 0; e < ears; ++e) {
            const int16_t* response = kernelData + entry.offset + static_cast<size_t>(e) * half;
            taps[e].resize(half);
            for (int32_t i = 0; i < half; ++i) {
                const int32_t left = half - i;
                const double fade = left >= taper ? 1.0 : 0.5 - 0.5 * std::cos(M_PI * left / taper);
                taps[e][i] = response[i] * (0.5 / 32768.0) * fade;
            }
        }
    }

    const int16_t* kernelData;   // the embedded set: lives as long as the process
};

// Streams of more than two channels: each room has two responses, so the
// first two channels are reverberated and the others pass through, delayed
// alike. A mono stream is reverberated with the room's left response.
SampleReverb::SampleReverb(double /*sampleRate*/, int32_t channels, const int16_t* kernelData, int32_t roomType,
                           ErrorSink* errors)
    : ChannelEffect(std::max(1, channels), 5000),
      kernelData(kernelData),
      roomType(std::clamp(roomType, 1, kRoomCount)),
      lentRoom(0),
      build(new RoomExtract(kernelData, std::min(std::max(1, channels), 2))),
      convolution(std::max(1, channels), kConvolutionLevels, std::unique_ptr<KernelBuild>(build)) {
    ServeTables(kKnobs, kPresets);
    // Without the set the ears stay silent; no room is ever built.
    if (!kernelData && errors) errors->ShowError(kKernelFileMissed);
    // The first room is built as work too (lentRoom 0 is no room), once the
    // host has set the knobs it restores: a room is built once, not the
    // default and then the restored one.
}

void SampleReverb::SetParameters(const double* values) {
    // Positions within one integer step select the same room.
    roomType = std::clamp(static_cast<int32_t>(values[0]), 1, kRoomCount);
}

int32_t SampleReverb::Reset() {
    convolution.Reset();
    return ChannelEffect::Reset();
}

std::unique_ptr<EffectWork> SampleReverb::TakeWork() {
    KernelBuild* job = convolution.PrepareWork(kernelData && roomType != lentRoom);
    if (!job) return nullptr;
    if (job->build) {
        build->roomType = roomType;
        lentRoom = roomType;
    }
    return convolution.Lend();
}

std::unique_ptr<EffectWork> SampleReverb::FinishWork(std::unique_ptr<EffectWork> work) {
    return convolution.FinishWork(std::move(work));
}

void SampleReverb::ProcessChannels(int32_t channelMask) {
    convolution.BeginBlock();
    producedFrames = convolution.Process(InputPlane(0), InputFrames(), OutputPlane(0), OutputFrames(),
                                         std::min(InputFrames(), OutputFrames()), channelMask);
}

}  // namespace orve
