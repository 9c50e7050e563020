#include "effects/distortion/vibrato.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orve {
namespace {

const KnobSpec kKnobs[] = {
    {"VibF", 20.0, 0.5, 8.0, "Hz", "How many times per second the pitch swings up and down, in hertz."},
    {"Delay", -1.0, -5.0, -3.0, "\xC2\xB5s",   // log10 of the depth in seconds
     "Depth of the swing, as the sweep of the delay line in microseconds; larger values swing the pitch "
     "further."},
};

}  // namespace

Vibrato::Vibrato(double sampleRate, int32_t channels) : ChannelEffect(channels, 5000), sampleRate(sampleRate) {
    ServeTables(kKnobs);
    BuildTables();
}

void Vibrato::BuildTables() {
    // Within the knobs' ranges (a damaged stored setting must not size the
    // tables from a zero frequency or a huge depth).
    const double frequency = std::clamp(vibFreq, 0.5, 20.0);
    const double swing = std::clamp(depth, 1e-5, 0.1);
    D = static_cast<int32_t>(swing * sampleRate);
    lineLength = 2 * D + 2;
    P = static_cast<int32_t>(sampleRate / frequency) + 1;
    // Room for the slowest and deepest setting is made once: a knob move
    // rebuilds the tables on the audio thread, which must not allocate.
    if (!storage) {
        const int64_t most = static_cast<int64_t>(sampleRate / 0.5) + 1 +
                             static_cast<int64_t>(channels) * (2 * static_cast<int64_t>(0.1 * sampleRate) + 2);
        storage.reset(new double[most]);
    }
    std::fill(storage.get(), storage.get() + P + channels * lineLength, 0.0);
    lfoTable = storage.get();
    delayLines = lfoTable + P;
    // One full sine period over the table, offset so the delay never drops
    // below one sample: the interpolation in ProcessChannels reads s[i - d + 1]
    // and s[i - d], so a delay of d samples gives an audible delay of d - 1.
    const double step = 2.0 * M_PI / (P - 1);
    for (int32_t i = 0; i < P; ++i) lfoTable[i] = D * std::sin(i * step) + (D + 1);
    lfoPos = 0;
    tablesStale = false;
}

void Vibrato::SetParameters(const double* values) {
    vibFreq = values[0];
    depth = std::pow(10.0, values[1]);
    // Rebuilt (and reallocated) by the next block, once however many changes
    // arrive before it.
    tablesStale = true;
}

double Vibrato::DisplayValue(int32_t knobIndex, double value) {
    return knobIndex == 1 ? std::pow(10.0, value) * 1e6 : value;
}

int32_t Vibrato::Reset() {
    std::fill(delayLines, delayLines + channels * lineLength, 0.0);
    lfoPos = 0;
    return EffectProcessor::Reset();
}

void Vibrato::ProcessChannels(int32_t channelMask) {
    if (tablesStale) BuildTables();
    const int32_t n = InputFrames();
    const int32_t produced = std::min(n, OutputFrames());

    for (int32_t c = 0; c < channels; ++c) {
        const double* x = InputPlane(c);
        double* y = OutputPlane(c);
        std::fill(y + produced, y + OutputFrames(), 0.0);
        if (!ChannelEnabled(channelMask, c)) {
            std::copy(x, x + produced, y);
            continue;   // the delay line keeps what it held
        }
        double* h = delayLines + c * lineLength;
        // s(j): the block for j >= 0, the delay line (newest first) before it.
        auto s = [&](int32_t j) { return j >= 0 ? x[j] : h[-j - 1]; };
        int32_t pos = lfoPos;
        for (int32_t i = 0; i < produced; ++i) {
            const double d = lfoTable[pos];
            if (++pos == P) pos = 0;
            const int32_t di = static_cast<int32_t>(d);
            const double f = d - di;
            y[i] = (1.0 - f) * s(i - di + 1) + f * s(i - di);
        }
        if (n >= lineLength) {
            for (int32_t k = 0; k < lineLength; ++k) h[k] = x[n - 1 - k];
        } else {
            std::memmove(h + n, h, sizeof(double) * (lineLength - n));
            for (int32_t k = 0; k < n; ++k) h[k] = x[n - 1 - k];
        }
    }
    lfoPos = static_cast<int32_t>((static_cast<int64_t>(lfoPos) + n) % P);
}

}  // namespace orve
