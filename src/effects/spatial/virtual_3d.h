#pragma once
// Virtual 3D: places the sound at a direction around the listener's head by
// filtering each ear with the head-related response of the nearest grid point.
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/channel_effect.h"
#include "dsp/effect_services.h"
#include "dsp/stream_convolver.h"

namespace orve {

// The response grid of set 121: 25 lateral angles by 50 polar angles.
constexpr int32_t kHrirAzimuths = 25;
constexpr int32_t kHrirElevations = 50;
constexpr int32_t kHrirTaps = 200;
constexpr int32_t kHrirValues = kHrirAzimuths * kHrirElevations * 2 * kHrirTaps;   // 500,000
extern const double kHrirGridAzimuth[kHrirAzimuths];
double HrirGridElevation(int32_t index);   // -45 + 5.625 * index

// The output trails the input by Latency() frames, held back at the start of
// the stream. A change of direction crossfades from the old grid point's
// responses to the new one's within a few milliseconds.
class Virtual3D : public ChannelEffect {
public:
    // kernelData: resource 121 (kHrirValues values), or null when it is
    // missing: `errors` is then told and the effect turns the sound to silence.
    // streamChannels: the stream's channel count. The ears are always two, but
    // the planes must follow the stream: an object fixed at two channels
    // would read a mono block as even/odd sample pairs and a six-channel block
    // as three scrambled pairs (see the .cpp for what each layout hears).
    Virtual3D(double sampleRate, const int16_t* kernelData, double azimuth, double elevation,
              ErrorSink* errors = nullptr, int32_t streamChannels = 2);

    void SetParameters(const double* values) override;
    void ProcessChannels(int32_t channelMask) override;
    int32_t Latency() const override { return StreamConvolver::kLatency; }

private:
    void SelectGridPoint();
    void PlayRowPair();

    // One stream per channel: the ears convolve, the others only keep step.
    std::vector<std::unique_ptr<StreamConvolver>> streams;
    // Two kernels per ear: the one playing and the one a change loads and
    // fades to; a change waits while a crossfade still uses both.
    std::unique_ptr<ConvolutionKernel> kernels[2][2];
    int32_t playingKernel = 0;
    int32_t playingRow = -1;
    // Rings of the same depth as the streams', swapped back and forth by
    // every change, so changes allocate nothing.
    ConvolutionHistory spareHistory[2];
    LevelTransforms transforms{1};
    bool anglesChanged = false;
    double azimuth;
    double elevation;
    double requestedAzimuth;
    double requestedElevation;
    double* earResponses[2];
    std::vector<double> responseTable;   // 500,000 table values, then both ears' taps
    double both = 0.0;
    int32_t rowPair = -1;
};

}  // namespace orve
