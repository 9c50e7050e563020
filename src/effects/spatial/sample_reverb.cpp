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

// Streams of more than two channels: each room has two responses, so the
// first two channels are reverberated and the others pass through unchanged.
// A mono stream is reverberated with the room's left response.
SampleReverb::SampleReverb(double /*sampleRate*/, int32_t channels, const int16_t* kernelData,
                           int32_t roomType, ErrorSink* errors)
    : ChannelEffect(std::max(1, channels), 5000),
      kernelData(kernelData),
      roomType(std::clamp(roomType, 1, kRoomCount)) {
    ServeTables(kKnobs, kPresets);
    if (!kernelData) {
        if (errors) errors->ShowError(kKernelFileMissed);
        return;
    }
    ExtractKernels();
}

void SampleReverb::SetParameters(const double* values) {
    // Positions within one integer step select the same room.
    const int32_t type = std::clamp(static_cast<int32_t>(values[0]), 1, kRoomCount);
    if (type != roomType) {
        roomType = type;
        rebuildPending = true;
    }
}

int32_t SampleReverb::Reset() {
    for (auto& convolver : convolvers)
        if (convolver) convolver->Reset();
    return ChannelEffect::Reset();
}

void SampleReverb::ExtractKernels() {
    const RoomEntry entry = ReadRoomEntry(kernelData, roomType);
    const int32_t half = static_cast<int32_t>(entry.length / 2);
    kernel.resize(half);
    // Full scale becomes 0.5, and each response is faded exponentially to
    // 1/729 (-57 dB) at its end so the stored tail dies away instead of being
    // cut off.
    const double fadePerValue = std::log(3.0) * 6.0 / half;
    const int32_t ears = std::min(channels, 2);
    for (int c = 0; c < ears; ++c) {
        const int16_t* response = kernelData + entry.offset + static_cast<size_t>(c) * half;
        for (int32_t i = 0; i < half; ++i) kernel[i] = response[i] * (0.5 / 32768.0) * std::exp(-fadePerValue * i);
        // The old convolver goes first: the new room starts without the old
        // room's tail and with empty queues.
        convolvers[c].reset();
        convolvers[c] = std::make_unique<PartitionedConvolver>(kRoomBlockSize, half, kernel.data());
    }
}

void SampleReverb::ProcessChannels(int32_t channelMask) {
    if (rebuildPending) {
        rebuildPending = false;
        if (kernelData) ExtractKernels();
    }
    const int32_t frames = InputFrames();
    const int32_t outFrames = OutputFrames();
    const int32_t deliver = std::min(frames, outFrames);
    for (int c = 0; c < channels; ++c) {
        double* out = OutputPlane(c);
        int32_t written = 0;
        if (c >= 2 || !ChannelEnabled(channelMask, c)) {
            std::copy(InputPlane(c), InputPlane(c) + deliver, out);
            written = deliver;
        } else if (convolvers[c]) {
            // Zero while the convolver is still filling (at the start and
            // after a room change): silence rather than a repeated old block.
            written = convolvers[c]->Convolve(InputPlane(c), out, frames, deliver);
        }
        std::fill(out + written, out + outFrames, 0.0);
    }
}

}  // namespace orve
