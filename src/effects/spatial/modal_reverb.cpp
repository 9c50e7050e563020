#include "effects/spatial/modal_reverb.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Size", 12.0, 1.0, 2.0, "\xC3\x97",   // factor on every position and room dimension
     "Room size as a multiple of a 5 \xC3\x97 7 \xC3\x97 2.8 m room, source and listener moving apart with it; "
     "larger rooms sound bigger and ring longer."},
    {"RefC", 0.99, 0.1, 0.85, "",  // reflection coefficient of all six walls
     "How much sound the walls reflect, from 0.1 (soft walls, a dry room) to 0.99 (hard walls, a long "
     "ring)."},
    {"DirR", 1.0, 0.0, 0.2, "", "Level of the direct sound in the mix, from 0 to 1."},
    {"RefR", 1.0, 0.0, 0.3, "", "Level of the early reflections in the mix, from 0 to 1."},
    {"RevR", 1.0, 0.0, 0.5, "", "Level of the reverberation tail in the mix, from 0 to 1."},
};

const double kSmallRoom[] = {0, 2, 0.85, 0.2, 0.3, 0.5};
const double kSmallHall[] = {0, 4, 0.85, 0.2, 0.3, 0.5};
const double kLargeHall[] = {0, 8, 0.8, 0.3, 0.35, 0.35};
const double kCustom[] = {0, 2, 0.85, 0.2, 0.3, 0.5};
const EffectPreset kPresets[] = {
    {"Small Room", kSmallRoom},
    {"Small Hall", kSmallHall},
    {"Large Hall", kLargeHall},
    {"Custom", kCustom},
};

const RoomGeometry kBaseRoom = {2.5, 0.5, 1.7, 2.2, 5.5, 1.8, 5.0, 7.0, 2.8, 0.8, 0.8, 0.8, 0.8, 0.8, 0.8};

// The knobs always place the ears this way.
constexpr double kHeadAngle = 0.0;
constexpr double kEarDistanceSquared = 0.13;

// What a fresh effect plays until the window passes its knob values: the
// default room, but with equal parts of direct sound, reflections and tail
// (the knob defaults weigh them 0.2, 0.3 and 0.5).
constexpr double kBuiltSize = 2.0;
constexpr double kBuiltRefC = 0.85;
constexpr double kBuiltRatio = 0.33;

// The model has two ears; further channels have no listening point.
constexpr int kResponseSlots = 2;

}  // namespace

const RoomGeometry& ModalReverb::BaseRoom() { return kBaseRoom; }

void ModalReverb::ChannelGeometries(const RoomGeometry& baseRoom, double size, double refC, double headAngle,
                                    double earDistanceSquared, RoomGeometry out[2]) {
    RoomGeometry room = baseRoom;
    for (int i = 0; i < 9; ++i) room[i] *= size;
    for (int i = 9; i < 15; ++i) room[i] = refC;

    const double sx = room[0], sy = room[1], lx = room[3], ly = room[4];
    // The ears sit on the line through the listener at right angles to the
    // direction of the source, one on each side.
    const double theta = std::atan2(lx - sx, ly - sy);
    const double t = std::tan(theta - M_PI / 2 - headAngle);
    const double c = ly - t * lx;
    const double P = 1.0 + t * t;
    const double Q = 2.0 * (t * (c - ly) - lx);
    const double R = (c - ly) * (c - ly) + lx * lx - earDistanceSquared;
    const double root = std::sqrt(Q * Q - 4.0 * P * R);
    const double x1 = (-Q - root) / (2.0 * P);
    const double x2 = (root - Q) / (2.0 * P);

    out[0] = room;
    out[0][3] = x1;
    out[0][4] = t * x1 + c;
    out[1] = room;
    out[1][3] = x2;
    out[1][4] = t * x2 + c;
}

ModalReverb::ModalReverb(double sampleRate, int32_t channels, const RoomGeometry& baseRoom, double directRatio,
                         double reflectionRatio, double reverbRatio, double size, double refC, double headAngle,
                         double earDistanceSquared)
    : ChannelEffect(channels, 5000), baseRoom(baseRoom) {
    ServeTables(kKnobs, kPresets);
    ChannelGeometries(baseRoom, size, refC, headAngle, earDistanceSquared, geometry);
    for (int c = 0; c < std::min<int32_t>(channels, kResponseSlots); ++c) {
        responses[c] = std::make_unique<RoomResponse>(sampleRate);
        responses[c]->SetGeometry(geometry[c]);
        responses[c]->SetRatios(directRatio, reflectionRatio, reverbRatio);
        responses[c]->Rebuild();
    }
}

ModalReverb::ModalReverb(double sampleRate, int32_t channels)
    : ModalReverb(sampleRate, channels, kBaseRoom, kBuiltRatio, kBuiltRatio, kBuiltRatio, kBuiltSize, kBuiltRefC,
                  kHeadAngle, kEarDistanceSquared) {}

void ModalReverb::SetParameters(const double* values) {
    directRatio = values[2];
    reflectionRatio = values[3];
    reverbRatio = values[4];
    ChannelGeometries(baseRoom, values[0], values[1], kHeadAngle, kEarDistanceSquared, geometry);
    // The responses are rebuilt on the audio thread, once however many
    // changes arrive before the next block.
    rebuildPending = true;
}

int32_t ModalReverb::Reset() {
    for (auto& response : responses)
        if (response) response->Convolver().Reset();
    return EffectProcessor::Reset();
}

void ModalReverb::UseFixedTailSeed(uint32_t seed) {
    for (auto& response : responses)
        if (response) response->UseFixedSeed(seed);
}

void ModalReverb::ProcessChannels(int32_t channelMask) {
    if (rebuildPending) {
        rebuildPending = false;
        for (int c = 0; c < kResponseSlots; ++c) {
            if (!responses[c]) continue;
            responses[c]->SetGeometry(geometry[c]);
            responses[c]->SetRatios(directRatio, reflectionRatio, reverbRatio);
            try {
                responses[c]->Rebuild();
            } catch (const std::bad_alloc&) {
                // The largest rooms (Size 12, RefC 0.99) need some 150 MB per
                // channel, a lot for a 32-bit host; running out must not take
                // the player down from its audio thread. The channel keeps its
                // old room if the build failed before the kernel change, or is
                // silent if the new kernel itself did not fit; the next
                // parameter change tries again.
            }
        }
    }
    const int32_t frames = InputFrames();
    for (int32_t ch = 0; ch < channels; ++ch) {
        const double* in = InputPlane(ch);
        double* out = OutputPlane(ch);
        // Channels beyond the two ears pass unchanged, as do switched-off ones.
        if (ch >= kResponseSlots || !ChannelEnabled(channelMask, ch)) {
            std::copy(in, in + frames, out);
            continue;
        }
        // Until the convolver delivers (start-up, after a reset or a rebuild)
        // the channel is silent: repeating the previous block would be heard
        // as a stutter, and the dry signal would jump in and out.
        if (responses[ch]->Convolver().Convolve(in, out, frames, frames) == 0)
            std::fill(out, out + frames, 0.0);
    }
}

}  // namespace orve
