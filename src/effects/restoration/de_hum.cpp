#include "effects/restoration/de_hum.h"

#include <algorithm>
#include <cstring>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"Hum Freq", 100.0, 10.0, 50.0, "Hz",
     "Frequency of the mains hum to cancel, in hertz (50 in Europe, 60 in North America); its "
     "harmonics go with it."},
};

const double kPreset50[] = {0.0, 50.0};
const double kPreset60[] = {0.0, 60.0};
const double kPreset25[] = {0.0, 25.0};
const double kPreset16[] = {0.0, 16.7};
const double kPreset87[] = {0.0, 87.0};
const double kPresetCustom[] = {0.0, 50.0};

const EffectPreset kPresets[] = {
    {"50Hz Hum", kPreset50},   {"60Hz Hum", kPreset60}, {"25Hz Hum", kPreset25},
    {"16.7Hz Hum", kPreset16}, {"87Hz Hum", kPreset87}, {"Custom", kPresetCustom},
};

constexpr double kLowestHumHz = 10.0;   // bottom of the knob range: sizes the buffers
constexpr double kPowerFloor = 1e-10;
// Taps per step of the prediction and update loops (two AVX or four SSE2 registers).
constexpr int32_t kLanes = 8;

// The hum period in samples, rounded, and the half-width of the tap window.
int32_t PeriodOf(double sampleRate, double humHz) { return static_cast<int32_t>(sampleRate / humHz + 0.5); }
int32_t HalfWidthOf(double sampleRate, double humHz) { return static_cast<int32_t>(0.05 * sampleRate / humHz + 1.0); }

// Frequencies below the knob range would need a longer ring than was
// allocated, and above a quarter of the sample rate the tap window would reach
// the current sample; values typed outside are held to what the ring supports.
double UsableHumHz(double sampleRate, double humHz) {
    return std::max(kLowestHumHz, std::min(humHz, 0.25 * sampleRate));
}

// w[j] += g r[j] for j < count. The taps and the ring are separate arrays:
// said so, the loop runs in vector registers.
void AddScaled(double* __restrict w, const double* __restrict r, double g, int32_t count) {
    int32_t j = 0;
    for (; j + kLanes <= count; j += kLanes)
#pragma GCC unroll 8
        for (int32_t l = 0; l < kLanes; ++l) w[j + l] += g * r[j + l];
    for (; j < count; ++j) w[j] += g * r[j];
}

}  // namespace

HumCanceller::HumCanceller(double sampleRate, double humHz) {
    const int32_t lowestHalfWidth = HalfWidthOf(sampleRate, kLowestHumHz);
    const int32_t lowestDelay = PeriodOf(sampleRate, kLowestHumHz) + lowestHalfWidth + 1;
    // 0.105 fs + 2 covers the 10 Hz ring at most rates, but rounding of the
    // period can make D one longer (11025 Hz: D = 1160 > 1159): take the larger.
    const int32_t ringSize = std::max(static_cast<int32_t>(0.10500000000000001 * sampleRate + 2.0), lowestDelay);
    // Twice the ring: every sample is also written D further on, so that the
    // window of the oldest T samples is one straight run wherever it starts.
    delayLine.assign(2 * static_cast<size_t>(ringSize), 0.0);
    taps.assign(static_cast<size_t>(2 * lowestHalfWidth + 1), 0.0);
    SetUp(sampleRate, humHz);
}

void HumCanceller::SetUp(double sampleRate, double humHz) {
    const double f0 = UsableHumHz(sampleRate, humHz);
    const int32_t halfWidth = HalfWidthOf(sampleRate, f0);
    const int32_t period = PeriodOf(sampleRate, f0);
    delayLength = period + halfWidth + 1;
    tapCount = 2 * halfWidth + 1;
    std::fill(taps.begin(), taps.begin() + tapCount, 0.0);
    taps[halfWidth] = 1.0;
    fillCount = delayLength - 1;
    writePos = 0;
    delayEnd = delayLength;
    sumSquares = 0.0;
    // The ring's old contents need no clearing: the fill overwrites all of it
    // before the first prediction reads it.
}

double HumCanceller::Step(double x) {
    double* ring = delayLine.data();
    ring[writePos] = x;
    ring[writePos + delayEnd] = x;
    ++writePos;
    if (fillCount > 0) {
        sumSquares += x * x;
        --fillCount;
        return 0.0;
    }
    bool wrapped = false;
    if (writePos == delayEnd) {
        writePos = 0;
        wrapped = true;
    }
    // Reference window r[j] = x[n - P - M + j]: the oldest sample (at
    // writePos) and the T - 1 after it, in one run thanks to the mirror.
    const int32_t T = tapCount;
    const double* head = ring + writePos;

    if (wrapped) {
        // Once per ring turn the sum is taken afresh from the D samples it
        // covers, so rounding of the running add/subtract cannot build up over
        // hours of material (inputs of 32-bit scale are not exact in doubles).
        double sum = 0.0;
        for (int32_t i = 0; i < delayEnd; ++i) sum += ring[i] * ring[i];
        sumSquares = sum;
    } else {
        sumSquares += x * x;
    }

    // The prediction in kLanes interleaved partial sums, added up in a fixed
    // order at the end: independent chains the compiler keeps in vector
    // registers, where one running sum would wait for every addition.
    double partial[kLanes] = {};
    int32_t j = 0;
    for (; j + kLanes <= T; j += kLanes)
#pragma GCC unroll 8
        for (int32_t l = 0; l < kLanes; ++l) partial[l] += taps[j + l] * head[j + l];
    double prediction = 0.0;
    for (; j < T; ++j) prediction += taps[j] * head[j];
    for (int32_t l = 0; l < kLanes; ++l) prediction += partial[l];
    const double e = x - prediction;

    step = 2.0 / (kPowerFloor + std::max(sumSquares, 0.0));
    const double oldest = head[0];
    sumSquares -= oldest * oldest;

    AddScaled(taps.data(), head, step * e, T);
    return e;
}

void HumCanceller::Process(const double* in, double* out, int32_t count) {
    for (int32_t i = 0; i < count; ++i) out[i] = Step(in[i]);
}

DeHum::DeHum(double sampleRate, int32_t channels)
    : ChannelEffect(channels, 2000),
      sampleRate(sampleRate),
      cancellers{HumCanceller(sampleRate, 50.0), HumCanceller(sampleRate, 50.0)} {
    ServeTables(kKnobs, kPresets);
}

void DeHum::SetParameters(const double* values) {
    humHz = values[0];
    retune = true;
}

// The cancellers keep adapting across a Reset: their state is the learnt hum,
// not signal history a caller would want dropped.
int32_t DeHum::Reset() { return 0; }

void DeHum::ProcessChannels(int32_t channelMask) {
    if (retune) {
        retune = false;
        for (HumCanceller& canceller : cancellers) canceller.SetUp(sampleRate, humHz);
    }
    const int32_t inFrames = InputFrames();
    const int32_t outFrames = OutputFrames();
    const int32_t frames = std::min(inFrames, outFrames);
    for (int32_t c = 0; c < channels; ++c) {
        const double* in = InputPlane(c);
        double* out = OutputPlane(c);
        // Only two cancellers exist: channels beyond the second (surround
        // streams) are copied unchanged rather than sharing a canceller, whose
        // state would then mix two different signals.
        if (c < 2 && ChannelEnabled(channelMask, c)) {
            cancellers[c].Process(in, out, frames);
        } else if (frames > 0) {
            std::memcpy(out, in, sizeof(double) * frames);
        }
        // An output capacity beyond the input (not offered by the audio path
        // for this effect) is filled with silence rather than stale values.
        if (outFrames > frames) std::fill(out + frames, out + outFrames, 0.0);
    }
}

}  // namespace orve
