// Demo cases of the two effects that play the embedded impulse responses.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/measures.h"
#include "demo_cases.h"

namespace orve::demo {
namespace {


// 0.1 s of noise at about -12 dBFS on both channels, then silence: the
// reverb's decay is left alone after it.
Signal Burst(int32_t sampleRate) {
    Signal s;
    s.sampleRate = sampleRate;
    s.channels = 2;
    const int64_t frames = sampleRate / 2;
    s.samples.assign(static_cast<size_t>(frames) * 2, 0.0);
    analysis::Lcg noise(2024);
    for (int64_t f = 0; f < sampleRate / 10; ++f) s.samples[2 * f] = s.samples[2 * f + 1] = 8000.0 * noise.Uniform();
    return s;
}

// Two seconds of the same noise in both channels: a centred source.
Signal CentredNoise(int32_t sampleRate) {
    Signal s;
    s.sampleRate = sampleRate;
    s.channels = 2;
    s.samples.resize(static_cast<size_t>(sampleRate) * 2 * 2);
    analysis::Lcg noise(77);
    for (size_t f = 0; f < s.samples.size() / 2; ++f) s.samples[2 * f] = s.samples[2 * f + 1] = 6000.0 * noise.Uniform();
    return s;
}

// Decay time of the output: backward-integrated energy of both channels from
// the loudest 10 ms on, a line through its -5..-25 dB part, extrapolated to
// -60 dB.
double OutputRt60(const Signal& out) {
    const int64_t frames = out.Frames();
    const int64_t window = out.sampleRate / 100;
    if (frames < 4 * window) return 0.0;
    const std::vector<double> energy = analysis::FrameEnergy(out);
    int64_t loudest = 0;
    double best = -1.0, running = 0.0;
    for (int64_t f = 0; f < frames; ++f) {
        running += energy[f] - (f >= window ? energy[f - window] : 0.0);
        if (running > best) best = running, loudest = f;
    }
    return analysis::DecayTime(energy, static_cast<size_t>(loudest), out.sampleRate);
}

// The room's own reverberation time in milliseconds: the effect plays each
// stored response whole, so the burst decays as the room does.
template <int RoomMilliseconds>
Measurement MeasureReverb(const Signal&, const Signal& output) {
    const double room = RoomMilliseconds / 1000.0;
    const double rt60 = OutputRt60(output);
    char line[160];
    std::snprintf(line, sizeof line, "burst decay RT60 %.2f s (room %.2f s)", rt60, room);
    return {line, {{"decayToRoom", rt60 / room}}};
}

Measurement MeasureEars(const Signal& input, const Signal& output) {
    // Skip the first 0.1 s: the convolver's start-up latency.
    const size_t first = static_cast<size_t>(output.sampleRate / 10) * 2;
    double left = 0.0, right = 0.0;
    for (size_t i = first; i + 1 < output.samples.size(); i += 2) {
        left += output.samples[i] * output.samples[i];
        right += output.samples[i + 1] * output.samples[i + 1];
    }
    double in = 0.0;
    for (size_t i = first; i < input.samples.size(); i += 2) in += input.samples[i] * input.samples[i];
    const double difference = 10.0 * std::log10(left / right);
    char line[160];
    std::snprintf(line, sizeof line, "interaural level difference L-R %+.1f dB (input 0.0 dB); left %+.1f dB, right %+.1f dB",
                  difference, 10.0 * std::log10(left / in), 10.0 * std::log10(right / in));
    return {line, {{"difference", difference}}};
}

}  // namespace

// The last preset row ("Studio      ") is the user's own setting in the
// window, so each room is also set on its "Type" knob. The heard decay follows
// the room's (a burst's early decay reads a little shorter in the shortest room).
std::vector<DemoCase> KernelDemos() {
    const std::vector<Expectation> heardDecay = {{"decayToRoom", 0.8, 1.15}};
    return {
        {"samplereverb_studio", EffectId::SampleReverb, "Studio      ", {{"Type", 14.0}}, 1.6, Burst,
         MeasureReverb<300>, heardDecay},
        {"samplereverb_cave", EffectId::SampleReverb, "Cave        ", {{"Type", 3.0}}, 3.6, Burst,
         MeasureReverb<3000>, heardDecay},
        {"samplereverb_stairway", EffectId::SampleReverb, "Stairway    ", {{"Type", 13.0}}, 5.5, Burst,
         MeasureReverb<4000>, heardDecay},
        {"virtual3d_left", EffectId::Virtual3D, "Left", {}, 0.0, CentredNoise, MeasureEars,
         {{"difference", 10.0, 18.0}}},
        {"virtual3d_right", EffectId::Virtual3D, "Right", {}, 0.0, CentredNoise, MeasureEars,
         {{"difference", -18.0, -10.0}}},
        {"virtual3d_behind", EffectId::Virtual3D, "Behind", {}, 0.0, CentredNoise, MeasureEars,
         {{"difference", -1.0, 1.0}}},
    };
}

}  // namespace orve::demo
