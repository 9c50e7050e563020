#pragma once
// Virtual 3D: places the sound at a direction around the listener's head by
// filtering each ear with the head-related response of the nearest grid point.
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/channel_effect.h"
#include "dsp/hrir_convolver.h"
#include "dsp/effect_services.h"

namespace orve {

// The response grid of set 121: 25 lateral angles by 50 polar angles.
constexpr int32_t kHrirAzimuths = 25;
constexpr int32_t kHrirElevations = 50;
constexpr int32_t kHrirTaps = HrirConvolver::kBlockSize;
constexpr int32_t kHrirValues = kHrirAzimuths * kHrirElevations * 2 * kHrirTaps;   // 500,000
extern const double kHrirGridAzimuth[kHrirAzimuths];
double HrirGridElevation(int32_t index);   // -45 + 5.625 * index

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

    // Direction in use and its row pair (a * 50 + e), for inspection.
    double Azimuth() const { return azimuth; }
    double Elevation() const { return elevation; }
    int32_t RowPair() const { return rowPair; }

private:
    void SelectGridPoint();

    std::unique_ptr<HrirConvolver> convolvers[2];
    bool anglesChanged = false;
    double azimuth;
    double elevation;
    double requestedAzimuth;
    double requestedElevation;
    double* earResponses[2];
    std::vector<double> responseTable;   // 500,000 table values, then both ears' taps
    std::vector<double> otherEar;        // a mono stream's right-ear output, averaged in
    double both = 0.0;
    int32_t rowPair = -1;
};

}  // namespace orve
