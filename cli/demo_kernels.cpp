// Demo cases of the two effects that play the embedded impulse responses.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "demo_cases.h"

namespace orve::demo {
namespace {

constexpr int32_t kSampleReverbId = 14;
constexpr int32_t kVirtual3DId = 16;

// Deterministic white noise in [-1, 1] (a 32-bit linear congruential draw).
double NextNoise(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
}

// 0.1 s of noise at about -12 dBFS on both channels, then silence: the
// reverb's decay is left alone after it.
Signal Burst(int32_t sampleRate) {
    Signal s;
    s.sampleRate = sampleRate;
    s.channels = 2;
    const int64_t frames = sampleRate / 2;
    s.samples.assign(static_cast<size_t>(frames) * 2, 0.0);
    uint32_t state = 2024;
    for (int64_t f = 0; f < sampleRate / 10; ++f) s.samples[2 * f] = s.samples[2 * f + 1] = 8000.0 * NextNoise(state);
    return s;
}

// Two seconds of the same noise in both channels: a centred source.
Signal CentredNoise(int32_t sampleRate) {
    Signal s;
    s.sampleRate = sampleRate;
    s.channels = 2;
    s.samples.resize(static_cast<size_t>(sampleRate) * 2 * 2);
    uint32_t state = 77;
    for (size_t f = 0; f < s.samples.size() / 2; ++f) s.samples[2 * f] = s.samples[2 * f + 1] = 6000.0 * NextNoise(state);
    return s;
}

// Decay time of the output: backward-integrated energy of both channels from
// the loudest 10 ms on, a line through its -5..-25 dB part, extrapolated to
// -60 dB. The effect fades each stored response by a further 57 dB over its
// length, which shortens the heard decay a little.
double OutputRt60(const Signal& out) {
    const int64_t frames = out.Frames();
    const int64_t window = out.sampleRate / 100;
    if (frames < 4 * window) return 0.0;
    std::vector<double> energy(static_cast<size_t>(frames));
    for (int64_t f = 0; f < frames; ++f) {
        double e = 0.0;
        for (int32_t c = 0; c < out.channels; ++c) e += out.samples[f * out.channels + c] * out.samples[f * out.channels + c];
        energy[f] = e;
    }
    int64_t loudest = 0;
    double best = -1.0, running = 0.0;
    for (int64_t f = 0; f < frames; ++f) {
        running += energy[f] - (f >= window ? energy[f - window] : 0.0);
        if (running > best) best = running, loudest = f;
    }
    std::vector<double> decay(static_cast<size_t>(frames) + 1, 0.0);
    for (int64_t f = frames; f-- > 0;) decay[f] = decay[f + 1] + energy[f];
    if (decay[loudest] <= 0.0) return 0.0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0, n = 0;
    for (int64_t f = loudest; f < frames; ++f) {
        const double db = 10.0 * std::log10(std::max(decay[f], 1e-300) / decay[loudest]);
        if (db > -5.0) continue;
        if (db < -25.0) break;
        const double t = static_cast<double>(f - loudest) / out.sampleRate;
        sx += t, sy += db, sxx += t * t, sxy += t * db, n += 1;
    }
    if (n < 2) return 0.0;
    return -60.0 / ((n * sxy - sx * sy) / (n * sxx - sx * sx));
}

// The room's own reverberation time and its stored length, in milliseconds.
template <int RoomMilliseconds, int StoredMilliseconds>
std::string MeasureReverb(const Signal&, const Signal& output) {
    const double room = RoomMilliseconds / 1000.0;
    const double fade = StoredMilliseconds / 1000.0 * 60.0 / (20.0 * std::log10(729.0));   // its own RT60
    char line[160];
    std::snprintf(line, sizeof line, "burst decay RT60 %.2f s (room %.2f s, with the effect's fade ~%.2f s)",
                  OutputRt60(output), room, 1.0 / (1.0 / room + 1.0 / fade));
    return line;
}

std::string MeasureEars(const Signal& input, const Signal& output) {
    // Skip the first 0.1 s: the convolver's start-up latency.
    const size_t first = static_cast<size_t>(output.sampleRate / 10) * 2;
    double left = 0.0, right = 0.0;
    for (size_t i = first; i + 1 < output.samples.size(); i += 2) {
        left += output.samples[i] * output.samples[i];
        right += output.samples[i + 1] * output.samples[i + 1];
    }
    double in = 0.0;
    for (size_t i = first; i < input.samples.size(); i += 2) in += input.samples[i] * input.samples[i];
    char line[160];
    std::snprintf(line, sizeof line, "interaural level difference L-R %+.1f dB (input 0.0 dB); left %+.1f dB, right %+.1f dB",
                  10.0 * std::log10(left / right), 10.0 * std::log10(left / in), 10.0 * std::log10(right / in));
    return line;
}

}  // namespace

// The last preset row ("Studio      ") is the user's own setting in the
// window, so each room is also set on its "Type" knob.
std::vector<DemoCase> KernelDemos() {
    return {
        {"samplereverb_studio", kSampleReverbId, "Studio      ", {{"Type", 14.0}}, 1.6, Burst, MeasureReverb<300, 1417>},
        {"samplereverb_cave", kSampleReverbId, "Cave        ", {{"Type", 3.0}}, 3.6, Burst, MeasureReverb<3000, 3536>},
        {"samplereverb_stairway", kSampleReverbId, "Stairway    ", {{"Type", 13.0}}, 5.5, Burst, MeasureReverb<4000, 5458>},
        {"virtual3d_left", kVirtual3DId, "Left", {}, 0.0, CentredNoise, MeasureEars},
        {"virtual3d_right", kVirtual3DId, "Right", {}, 0.0, CentredNoise, MeasureEars},
        {"virtual3d_behind", kVirtual3DId, "Behind", {}, 0.0, CentredNoise, MeasureEars},
    };
}

}  // namespace orve::demo
