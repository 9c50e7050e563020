#include "effects/spatial/virtual_3d.h"

#include <algorithm>
#include <cmath>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Azim", 80.0, -80.0, 0.0, "\xC2\xB0",
     "Direction to the left or right of straight ahead, in degrees: negative to the left, positive to "
     "the right, 80 at the ears."},
    {"Elev", 230.625, -45.0, 0.0, "\xC2\xB0",
     "Angle up and over the head, in degrees: 0 ahead, 90 overhead, 180 behind, beyond that below and "
     "behind, negative below ahead."},
    {"Both", 1.0, 0.0, 0.0, "",
     "Takes the sound once around the head as it goes from 0 to 1, starting from the direction Azim and "
     "Elev set; 0 leaves it there."},
};

const double kAhead[] = {0, 0, 0, 0};
const double kOverHead[] = {0, 0, 90, 0};
const double kBehind[] = {0, 0, 180, 0};
const double kBelow[] = {0, 0, 230.625, 0};
const double kLeft[] = {0, -80, 0, 0};
const double kRight[] = {0, 80, 0, 0};
const double kCustom[] = {0, 0, 0, 0};
const EffectPreset kPresets[] = {
    {"Ahead", kAhead},   {"OverHead", kOverHead}, {"Behind", kBehind}, {"Below", kBelow},
    {"Left", kLeft},     {"Right", kRight},       {"Custom", kCustom},
};

// Index of the grid value nearest to `value`; a tie goes to the lower index
// because a candidate must be strictly closer to win.
template <typename GridValue>
int32_t NearestIndex(double value, int32_t count, GridValue grid) {
    double best = 1e10;
    int32_t index = 0;
    for (int32_t i = 0; i < count; ++i) {
        const double distance = std::fabs(value - grid(i));
        if (distance < best) {
            best = distance;
            index = i;
        }
    }
    return index;
}

}  // namespace

const double kHrirGridAzimuth[kHrirAzimuths] = {-80, -65, -55, -45, -40, -35, -30, -25, -20,
                                                -15, -10, -5,  0,   5,   10,  15,  20,  25,
                                                30,  35,  40,  45,  55,  65,  80};

double HrirGridElevation(int32_t index) { return -45.0 + 5.625 * index; }

// Channel layout. The effect filters the first two channels as the left and
// right ear. A mono stream has no second ear to feed, and the audio path
// cannot widen a mono block to stereo, so a mono stream gets the average of
// both ears' responses: a direction keeps its colouring, and a source on the
// right is as loud as one on the left (one ear alone would play it through
// the far ear, some 14 dB down and dulled). Channels beyond the second are
// passed through unchanged (they have no ear to go to).
Virtual3D::Virtual3D(double /*sampleRate*/, const int16_t* kernelData, double azimuth, double elevation,
                     ErrorSink* errors, int32_t streamChannels)
    : ChannelEffect(std::max(1, streamChannels), 5000),
      azimuth(azimuth),
      elevation(elevation),
      requestedAzimuth(azimuth),
      requestedElevation(elevation),
      responseTable(kHrirValues + 2 * kHrirTaps, 0.0) {
    earResponses[0] = responseTable.data() + kHrirValues;
    earResponses[1] = earResponses[0] + kHrirTaps;
    if (kernelData) {
        for (int32_t i = 0; i < kHrirValues; ++i) responseTable[i] = kernelData[i] * (1.0 / 32768.0);
    } else if (errors) {
        // The all-zero table turns every direction into silence.
        errors->ShowError(kKernelFileMissed);
    }
    convolvers[0] = std::make_unique<HrirConvolver>();
    convolvers[1] = std::make_unique<HrirConvolver>();
    SelectGridPoint();
    anglesChanged = false;
    ServeTables(kKnobs, kPresets);
}

void Virtual3D::SetParameters(const double* values) {
    requestedAzimuth = values[0];
    requestedElevation = values[1];
    both = values[2];
    anglesChanged = true;
}

void Virtual3D::SelectGridPoint() {
    const int32_t a = NearestIndex(azimuth, kHrirAzimuths, [](int32_t i) { return kHrirGridAzimuth[i]; });
    const int32_t e = NearestIndex(elevation, kHrirElevations, HrirGridElevation);
    const int32_t row = a * kHrirElevations + e;
    // While "Both" is up the direction is recomputed every block; the
    // spectra only need transforming again when the grid point moves.
    if (row == rowPair) return;
    rowPair = row;
    for (int k = 0; k < 2; ++k) {
        const double* taps = responseTable.data() + static_cast<size_t>(2 * row + k) * kHrirTaps;
        std::copy(taps, taps + kHrirTaps, earResponses[k]);
        convolvers[k]->SetKernel(earResponses[k]);
    }
}

void Virtual3D::ProcessChannels(int32_t /*channelMask*/) {
    if (anglesChanged || both > 0.0) {
        anglesChanged = false;
        if (both <= 0.0) {
            azimuth = requestedAzimuth;
            elevation = requestedElevation;
        } else {
            // "Both" runs once around the head: the azimuth goes out to the
            // right, across to the left and back (folded at +-80), while the
            // elevation climbs over the top, behind, below and back to ahead.
            azimuth = 320.0 * both + requestedAzimuth;
            if (azimuth > 240.0) azimuth = azimuth - 80.0 - 240.0 * std::trunc(azimuth / 240.0);
            if (azimuth > 80.0) azimuth = 160.0 - azimuth;
            elevation = 275.625 * both + requestedElevation;
            if (elevation > 230.625) elevation = elevation - 45.0 - 230.625 * std::trunc(elevation / 230.625);
        }
        SelectGridPoint();
    }

    const int32_t frames = InputFrames();
    const int32_t outFrames = OutputFrames();
    const int32_t deliver = std::min(frames, outFrames);
    const int32_t ears = std::min(channels, 2);
    for (int c = 0; c < ears; ++c) {
        double* out = OutputPlane(c);
        // Until the convolver has delivered (the first call, and whenever it
        // falls short) the ear is silent: repeating an old buffer would buzz.
        const int32_t written = convolvers[c]->Convolve(InputPlane(c), out, frames, deliver);
        std::fill(out + written, out + outFrames, 0.0);
    }
    if (channels == 1) {
        if (static_cast<int32_t>(otherEar.size()) < outFrames) otherEar.resize(outFrames);   // grows only
        double* out = OutputPlane(0);
        const int32_t written = convolvers[1]->Convolve(InputPlane(0), otherEar.data(), frames, deliver);
        for (int32_t i = 0; i < written; ++i) out[i] = 0.5 * (out[i] + otherEar[i]);
    }
    for (int c = ears; c < channels; ++c) {
        std::copy(InputPlane(c), InputPlane(c) + deliver, OutputPlane(c));
        std::fill(OutputPlane(c) + deliver, OutputPlane(c) + outFrames, 0.0);
    }
}

}  // namespace orve
