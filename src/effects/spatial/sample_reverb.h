#pragma once
// Sample reverb: convolution with one of fourteen stored stereo room responses.
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/channel_effect.h"
#include "dsp/convolved_channels.h"
#include "dsp/effect_services.h"

namespace orve {

constexpr int32_t kRoomCount = 14;

// Where room `roomType` (1..14) lies in resource 142, in 16-bit values.
struct RoomEntry {
    uint32_t offset;
    uint32_t length;   // both ears; each ear has length / 2 values
};
RoomEntry ReadRoomEntry(const int16_t* kernelData, int32_t roomType);
// True when `count` values hold the directory and every room it lists, each
// with an even length.
bool RoomSetFits(const int16_t* kernelData, size_t count);

// The output trails the input by Latency() frames, held back at the start of
// the stream. A room change is extracted and transformed as work handed out
// through TakeWork while the old room plays on, then crossfaded in.
class SampleReverb : public ChannelEffect {
public:
    // kernelData: resource 142, or null when it is missing: `errors` is then
    // told and the reverberated channels stay silent.
    SampleReverb(double sampleRate, int32_t channels, const int16_t* kernelData, int32_t roomType,
                 ErrorSink* errors = nullptr);

    void SetParameters(const double* values) override;
    int32_t Reset() override;
    void ProcessChannels(int32_t channelMask) override;
    int32_t Latency() const override { return ConvolvedChannels::Latency(); }
    std::unique_ptr<EffectWork> TakeWork() override;
    std::unique_ptr<EffectWork> FinishWork(std::unique_ptr<EffectWork> work) override;

private:
    class RoomExtract;

    const int16_t* kernelData;
    int32_t roomType;
    int32_t lentRoom;
    RoomExtract* build;   // owned by `convolution` (or lent out): read only when at home
    ConvolvedChannels convolution;
};

}  // namespace orve
