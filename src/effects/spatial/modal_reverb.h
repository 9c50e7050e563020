#pragma once
// Modal reverb: the listener in a simulated shoebox room.
//
// Five knobs give a room geometry (Size scales positions and dimensions, RefC
// sets every wall's reflection coefficient) and the mix of direct sound,
// early reflections and tail. Each of the first two channels is convolved
// with the room's response at one of two listening points, one per ear. The
// responses contain the direct sound, so the output is the convolved signal
// alone.
//
// The output trails the input by Latency() frames, held back at the start of
// the stream (see EffectProcessor::Latency). A knob change rebuilds the room
// as work handed out through TakeWork (243 ms for the largest room at
// 44.1 kHz): the old room plays on meanwhile and the new one is crossfaded
// in, reverberating what was played before it as well. Channels beyond the
// second have no listening point and pass through, delayed alike.
#include <cstdint>
#include <memory>
#include <optional>

#include "dsp/channel_effect.h"
#include "dsp/convolved_channels.h"
#include "dsp/room_response.h"

namespace orve {

class ModalReverb : public ChannelEffect {
public:
    // The room the knobs scale: source (2.5, 0.5, 1.7), listener (2.2, 5.5,
    // 1.8), 5.0 x 7.0 x 2.8 m; its reflection coefficients are always
    // replaced by RefC.
    static const RoomGeometry& BaseRoom();

    // The two listening points: on the line through the listener at right
    // angles to the source direction (turned by headAngle), each
    // sqrt(earDistanceSquared) from the listener. out[0] is channel 0's.
    static void ChannelGeometries(const RoomGeometry& baseRoom, double size, double refC, double headAngle,
                                  double earDistanceSquared, RoomGeometry out[2]);

    ModalReverb(double sampleRate, int32_t channels, const RoomGeometry& baseRoom, double directRatio,
                double reflectionRatio, double reverbRatio, double size, double refC, double headAngle,
                double earDistanceSquared, std::optional<uint32_t> tailSeed = std::nullopt);
    // As the catalogue builds it: the base room at Size 2 and RefC 0.85, a
    // third of each part, until the window passes its knob values.
    //
    // tailSeed: every room's tail noise is drawn from it, so the same knobs
    // give the same response bit for bit (orve); without one it is drawn from
    // the clock's seconds at each build, as the plug-in always has.
    ModalReverb(double sampleRate, int32_t channels, std::optional<uint32_t> tailSeed = std::nullopt);

    void SetParameters(const double* values) override;
    int32_t Reset() override;
    void ProcessChannels(int32_t channelMask) override;
    int32_t Latency() const override { return ConvolvedChannels::Latency(); }
    std::unique_ptr<EffectWork> TakeWork() override;
    std::unique_ptr<EffectWork> FinishWork(std::unique_ptr<EffectWork> work) override;

    // What a build found out about the room of one ear.
    struct RoomFacts {
        double reverbSeconds = 0.0;
        int32_t directIndex = 0;
        int32_t responseLength = 0;
    };
    // The room the ear plays (the last one swapped in).
    const RoomFacts& Room(int ear) const { return playing[ear]; }
    // Partitions per level of the kernel the ear plays.
    const ConvolutionKernel* Kernel(int ear) const { return convolution.Kernel(ear); }

private:
    class RoomBuild;
    void FillBuild();

    RoomGeometry baseRoom;
    RoomGeometry geometry[2];
    double directRatio = 0.0, reflectionRatio = 0.0, reverbRatio = 0.0;
    std::optional<uint32_t> tailSeed;
    // Knob changes count up `requested`; a build carries the count it was made for.
    uint64_t requested = 1;
    uint64_t lentFor = 0;
    RoomBuild* build;   // owned by `convolution` (or lent out): read only when at home
    ConvolvedChannels convolution;
    RoomFacts playing[2];
    RoomFacts incoming[2];
};

}  // namespace orve
