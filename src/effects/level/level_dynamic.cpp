#include "effects/level/level_dynamic.h"

#include <algorithm>
#include <cmath>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Thresh", -1.0, -50.0, -10.0, "dB",
     "Level above which loud passages are turned down, in dB below full scale; lower settings compress "
     "more of the programme."},
    {"Attack", 100.0, 1.0, 5.0, "ms",
     "How quickly the gain comes down once the level passes the threshold, in milliseconds; shorter "
     "settings catch peaks sooner but can blunt the attacks."},
    {"Release", 1000.0, 1.0, 300.0, "ms",
     "How quickly the gain comes back once the level falls below the threshold, in milliseconds; longer "
     "settings sound smoother, shorter ones pump."},
    {"Ratio", 20.0, 1.0, 2.0, ":1",
     "How hard levels above the threshold are pressed: at 4:1 every 4 dB more input gives 1 dB more "
     "output; higher ratios compress harder and 1:1 does nothing."},
};

const double kDrum[] = {0.0, -10.0, 8.0, 150.0, 6.0};
const double kGuitar[] = {0.0, -10.0, 8.0, 100.0, 8.0};
const double kEGuitar[] = {0.0, -10.0, 20.0, 20.0, 4.0};
const double kEBass[] = {0.0, -10.0, 50.0, 50.0, 4.0};
const double kSinging[] = {0.0, -10.0, 7.0, 65.0, 3.0};
const double kSpeech[] = {0.0, -10.0, 15.0, 50.0, 2.5};

// No "Custom" row: the window treats the last row ("Speech") as the user's own.
const EffectPreset kPresets[] = {
    {"Drum", kDrum},       {"Guitar", kGuitar},   {"E-Guitar", kEGuitar},
    {"E-Bass", kEBass},    {"Singing", kSinging}, {"Speech", kSpeech},
};

constexpr double kFullScaleInverse = 3.0517578125e-5;   // 1 / 32768

}  // namespace

LevelDynamic::LevelDynamic(double sampleRate, int32_t channels)
    : SpectralEffect(DeferFraming{}, sampleRate, 0.9, channels, 5000, kNoWindow) {
    // 0.1 s frames with a 0.9 hop leave N - H samples of look-ahead (410 at
    // 44100 Hz), far more than the 1 ms detector window needs.
    SetFrameSeconds(0.1);
    loud.assign(hop, 0);
    base.assign(hop, 0.0);
    power.assign(hop, 0.0);
    ServeTables(kKnobs, kPresets);
}

void LevelDynamic::SetParameters(const double* values) {
    // Plain stores: every frame derives its coefficients afresh from these.
    thresholdDb = values[0];
    attackSeconds = values[1] * 0.001;
    releaseSeconds = values[2] * 0.001;
    ratio = values[3];
}

// The table is offered through GetPresets, but this effect reports no
// user-setting row, so the count the window uses to find one is 0: the only
// effect whose PresetCount differs from its table.
int32_t LevelDynamic::PresetCount() { return 0; }

void LevelDynamic::ProcessChannels(int32_t channelMask) {
    const double fs = sampleRate;
    // The detector window must reach no further than the frame's tail.
    const int32_t L = std::clamp(static_cast<int32_t>(rmsWindowSeconds * fs), 1, overlap + 1);
    const double attack = std::exp(-1.0 / (attackSeconds * fs));
    const double release = std::exp(-1.0 / (releaseSeconds * fs));
    const double oneMinusAttack = 1.0 - attack, oneMinusRelease = 1.0 - release;
    const double T = std::pow(10.0, thresholdDb * 0.05);
    const double inverseRatio = 1.0 / ratio;
    const double inverseL = 1.0 / L;

    // Detector state exists for two channels; further channels of a wider
    // stream pass through untouched (the unwindowed frame is written back whole).
    const int32_t processed = std::min(channels, kStateChannels);
    for (int32_t c = 0; c < processed; ++c) {
        if (!ChannelEnabled(channelMask, c)) continue;
        double* x = FramePlane(c);
        double e = envelope[c];
        double S = 0.0;
        for (int32_t k = 0; k < L - 1; ++k) S += x[k] * x[k];
        // The envelope runs sample by sample; the samples above the
        // threshold are gathered, with their envelope, for their gains.
        int32_t* gathered = loud.data();
        double* level = base.data();
        int32_t count = 0;
        for (int32_t i = 0; i < hop; ++i) {
            const double ahead = x[i + L - 1];
            S += ahead * ahead;
            // The running sum may drift a hair below zero after loud passages.
            const double r = std::sqrt(std::max(S, 0.0) * inverseL) * kFullScaleInverse;
            const bool rising = r > e;
            e = (rising ? oneMinusAttack : oneMinusRelease) * r + (rising ? attack : release) * e;
            // The sample leaves the window as it came in, before any gain:
            // removing the attenuated value would let the sum creep upward.
            const double xi = x[i];
            S -= xi * xi;
            gathered[count] = i;
            level[count] = e;
            count += e > T;
        }
        // Gain (T / e)^(1 - 1 / ratio), taken as q q^(-1 / ratio).
        for (int32_t j = 0; j < count; ++j) level[j] = T / level[j];
        math.Pow(level, -inverseRatio, count, power.data());
        for (int32_t j = 0; j < count; ++j) x[gathered[j]] *= level[j] * power[j];
        envelope[c] = e;
        windowSum[c] = S;
    }
}

}  // namespace orve
