#include "effects/spatial/modal_reverb.h"

#include <algorithm>
#include <cmath>
#include <ctime>

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

// One build of both ears' rooms, made away from the audio thread.
class ModalReverb::RoomBuild : public KernelBuild {
public:
    RoomBuild(double sampleRate, int32_t ears) : KernelBuild(ears, kConvolutionLevels), sampleRate(sampleRate) {}

    // Inputs, filled by the effect before the build is lent out.
    RoomGeometry geometry[2];
    double directRatio = 0.0, reflectionRatio = 0.0, reverbRatio = 0.0;
    std::optional<uint32_t> tailSeed;
    // Outputs.
    RoomFacts facts[2];

private:
    void BuildResponses(std::vector<double> (&taps)[kMaxEars]) override {
        for (int32_t e = 0; e < ears; ++e) {
            // A fresh builder each time: its working arrays (tens of MB for
            // the largest rooms) go when the build is done.
            RoomResponse room(sampleRate);
            room.SetGeometry(geometry[e]);
            room.SetRatios(directRatio, reflectionRatio, reverbRatio);
            // Tails are drawn from the clock (seconds) unless a seed is given.
            room.UseFixedSeed(tailSeed ? *tailSeed : static_cast<uint32_t>(std::time(nullptr)));
            room.Rebuild();
            facts[e] = {room.ReverbSeconds(), room.DirectIndex(), room.ResponseLength()};
            room.TakeResponse(taps[e]);
        }
    }

    double sampleRate;
};

ModalReverb::ModalReverb(double sampleRate, int32_t channels, const RoomGeometry& baseRoom, double directRatio,
                         double reflectionRatio, double reverbRatio, double size, double refC, double headAngle,
                         double earDistanceSquared, std::optional<uint32_t> tailSeed)
    : ChannelEffect(channels, 5000),
      baseRoom(baseRoom),
      directRatio(directRatio),
      reflectionRatio(reflectionRatio),
      reverbRatio(reverbRatio),
      tailSeed(tailSeed),
      build(new RoomBuild(sampleRate, std::min<int32_t>(std::max(channels, 1), kResponseSlots))),
      convolution(channels, kConvolutionLevels, std::unique_ptr<KernelBuild>(build)) {
    ServeTables(kKnobs, kPresets);
    ChannelGeometries(baseRoom, size, refC, headAngle, earDistanceSquared, geometry);
    // The first room is built as work like every later one (requested starts
    // ahead of lentFor), once the host has set the knobs it restores: a room
    // is built once, not the default and then the restored one.
}

void ModalReverb::FillBuild() {
    for (int e = 0; e < kResponseSlots; ++e) build->geometry[e] = geometry[e];
    build->directRatio = directRatio;
    build->reflectionRatio = reflectionRatio;
    build->reverbRatio = reverbRatio;
    build->tailSeed = tailSeed;
}

ModalReverb::ModalReverb(double sampleRate, int32_t channels, std::optional<uint32_t> tailSeed)
    : ModalReverb(sampleRate, channels, kBaseRoom, kBuiltRatio, kBuiltRatio, kBuiltRatio, kBuiltSize, kBuiltRefC,
                  kHeadAngle, kEarDistanceSquared, tailSeed) {}

void ModalReverb::SetParameters(const double* values) {
    directRatio = values[2];
    reflectionRatio = values[3];
    reverbRatio = values[4];
    ChannelGeometries(baseRoom, values[0], values[1], kHeadAngle, kEarDistanceSquared, geometry);
    // Only counted here: the room is built as work, from whatever the knobs
    // say when the work is taken, so a drag builds its latest position.
    ++requested;
}

int32_t ModalReverb::Reset() {
    convolution.Reset();
    return EffectProcessor::Reset();
}

std::unique_ptr<EffectWork> ModalReverb::TakeWork() {
    KernelBuild* job = convolution.PrepareWork(requested != lentFor);
    if (!job) return nullptr;
    if (job->build) {
        FillBuild();
        lentFor = requested;
    }
    return convolution.Lend();
}

std::unique_ptr<EffectWork> ModalReverb::FinishWork(std::unique_ptr<EffectWork> work) {
    const bool built = work.get() == build && build->build;
    work = convolution.FinishWork(std::move(work));
    if (!work && built)
        for (int e = 0; e < kResponseSlots; ++e) incoming[e] = build->facts[e];
    return work;
}

void ModalReverb::ProcessChannels(int32_t channelMask) {
    if (convolution.BeginBlock())
        for (int e = 0; e < kResponseSlots; ++e) playing[e] = incoming[e];
    producedFrames = convolution.Process(InputPlane(0), InputFrames(), OutputPlane(0), OutputFrames(),
                                         InputFrames(), channelMask);
}

}  // namespace orve
