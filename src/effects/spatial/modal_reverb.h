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
// A channel is silent until its convolver first delivers (about two blocks of
// 2048 samples after construction, a reset or a parameter change). Channels
// beyond the second have no listening point and pass through unchanged.
#include <cstdint>
#include <memory>

#include "dsp/channel_effect.h"
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
                double earDistanceSquared);
    // As the catalogue builds it: the base room at Size 2 and RefC 0.85, a
    // third of each part, until the window passes its knob values.
    ModalReverb(double sampleRate, int32_t channels);

    void SetParameters(const double* values) override;
    int32_t Reset() override;
    void ProcessChannels(int32_t channelMask) override;

    // Tests: draw every later tail from a fixed seed instead of the clock.
    void UseFixedTailSeed(uint32_t seed);
    const RoomResponse* Response(int c) const { return responses[c].get(); }

private:
    RoomGeometry baseRoom;
    std::unique_ptr<RoomResponse> responses[2];
    RoomGeometry geometry[2];
    bool rebuildPending = false;
    double directRatio = 0.0, reflectionRatio = 0.0, reverbRatio = 0.0;
};

}  // namespace orve
