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

// A direction change is heard within one head block.
constexpr int32_t kFadeFrames = 256;

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
// passed through, delayed to stay aligned (they have no ear to go to).
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
    const int32_t ears = std::min(channels, 2);
    for (int32_t c = 0; c < channels; ++c) streams.push_back(std::make_unique<StreamConvolver>(1, kFadeFrames));
    for (int32_t e = 0; e < ears; ++e)
        for (auto& kernel : kernels[e]) kernel = std::make_unique<ConvolutionKernel>(kHrirTaps, 1);
    // The first kernel brings the streams' rings; every kernel here is one
    // partition, so later changes keep their depth and the spare left over
    // by each change serves the next.
    for (int32_t e = 0; e < ears; ++e)
        spareHistory[e] = std::move(*StreamConvolver::PlanHistory(streams[e]->Shape(), kernels[e][0].get()));
    SelectGridPoint();
    PlayRowPair();
    for (int32_t e = 0; e < ears; ++e)
        spareHistory[e] = std::move(*StreamConvolver::PlanHistory(streams[e]->Shape(), kernels[e][0].get()));
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
    rowPair = a * kHrirElevations + e;
}

void Virtual3D::PlayRowPair() {
    // While "Both" is up the direction is recomputed every block; the
    // responses only need transforming again when the grid point moves, and
    // a move waits for the crossfade of the previous one.
    if (rowPair == playingRow) return;
    const int32_t ears = std::min(channels, 2);
    for (int32_t e = 0; e < ears; ++e)
        if (streams[e]->Changing()) return;
    playingRow = rowPair;
    playingKernel ^= 1;
    for (int32_t e = 0; e < ears; ++e) {
        const double* taps = responseTable.data() + static_cast<size_t>(2 * rowPair + e) * kHrirTaps;
        if (channels == 1) {
            // The average of the two ears' outputs is the output of their
            // averaged response: one convolution instead of two.
            const double* right = taps + kHrirTaps;
            for (int32_t i = 0; i < kHrirTaps; ++i) earResponses[e][i] = 0.5 * (taps[i] + right[i]);
        } else {
            std::copy(taps, taps + kHrirTaps, earResponses[e]);
        }
        ConvolutionKernel& next = *kernels[e][playingKernel];
        next.Load(earResponses[e], transforms);
        streams[e]->Change(&next, spareHistory[e]);
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
    PlayRowPair();

    const int32_t frames = std::min(InputFrames(), OutputFrames());
    const int32_t ears = std::min(channels, 2);
    for (int32_t c = 0; c < channels; ++c) {
        // The ears are filtered whatever the channel switches say; further
        // channels pass through, delayed to stay aligned.
        double* out = OutputPlane(c);
        producedFrames = streams[c]->Process(InputPlane(c), frames, c < ears ? out : nullptr, c < ears ? nullptr : out);
    }
}

}  // namespace orve
