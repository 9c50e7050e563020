// Demo cases of the de-hum, de-ess and de-vocal effects: each feeds a
// programme built to show one problem and measures how much of it is left.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "analysis/measures.h"
#include "demo_cases.h"
#include "plugin/effect_factory.h"

namespace orve::demo {
namespace {

using analysis::kFullScale;

constexpr double kSeconds = 4.0;

double Db(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-9) / kFullScale); }

std::string Format(const char* format, double a, double b, double c = 0.0, double d = 0.0) {
    char line[200];
    std::snprintf(line, sizeof line, format, a, b, c, d);
    return line;
}

// A sung vowel: a 180 Hz fundamental with a formant-shaped harmonic series,
// in syllables of 0.4 s.
double Voice(int64_t n, double sampleRate) {
    const double t = n / sampleRate;
    double v = 0.0;
    for (int h = 1; h <= 20; ++h) {
        const double f = 180.0 * h;
        if (f > 0.45 * sampleRate) break;
        const double formant = std::exp(-std::pow((f - 700.0) / 500.0, 2)) + 0.5 * std::exp(-std::pow((f - 2300.0) / 700.0, 2));
        v += (0.15 + formant) / h * std::sin(2.0 * M_PI * f * t + 0.7 * h);
    }
    const double syllable = 0.5 - 0.5 * std::cos(2.0 * M_PI * t / 0.4);
    return v * (0.3 + 0.7 * syllable);
}

// A plucked string at 330 Hz, restruck every half second.
double Pluck(int64_t n, double sampleRate) {
    const double t = n / sampleRate;
    const double local = std::fmod(t, 0.5);
    double v = 0.0;
    for (int h = 1; h <= 8; ++h) v += std::sin(2.0 * M_PI * 330.0 * h * t) / (h * h);
    return v * std::exp(-4.0 * local);
}

Signal Blank(int32_t sampleRate, int32_t channels) { return analysis::Silence(sampleRate, channels, kSeconds); }

// The later part of the run, where every effect has settled; clipped to what
// both signals hold (a spectral effect's output stops short of the input).
void SteadySpan(const Signal& input, const Signal& output, int64_t& first, int64_t& count) {
    const int64_t frames = std::min(input.Frames(), output.Frames());
    first = frames / 2;
    count = frames - first;
}

double PowerDb(double power) { return 10.0 * std::log10(std::max(power, 1e-30)); }

// ---- DeHum -----------------------------------------------------------------

Signal HummingVoice(int32_t sampleRate) {
    Signal s = Blank(sampleRate, 2);
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> hiss(-60.0, 60.0);
    for (int64_t n = 0; n < s.Frames(); ++n) {
        // Mains a touch off nominal, with the odd harmonics of a rectifier.
        const double w = 2.0 * M_PI * 50.02 * n / sampleRate;
        const double hum = 1500.0 * (std::sin(w) + 0.5 * std::sin(3 * w + 0.4) + 0.2 * std::sin(5 * w + 1.0));
        const double voice = 3000.0 * Voice(n, sampleRate);
        s.samples[2 * n] = voice + hum + hiss(rng);
        s.samples[2 * n + 1] = 0.8 * voice + hum + hiss(rng);
    }
    return s;
}

Measurement MeasureHum(const Signal& input, const Signal& output) {
    int64_t first, count;
    SteadySpan(input, output, first, count);
    const double humIn = Db(analysis::ToneAmplitude(input, 0, 50.02, first, count));
    const double humOut = Db(analysis::ToneAmplitude(output, 0, 50.02, first, count));
    const double thirdIn = Db(analysis::ToneAmplitude(input, 0, 150.06, first, count));
    const double thirdOut = Db(analysis::ToneAmplitude(output, 0, 150.06, first, count));
    return {Format("hum 50 Hz %.1f dB -> %.1f dB, 150 Hz %.1f dB -> %.1f dB (left, dBFS)", humIn, humOut, thirdIn,
                   thirdOut),
            {{"humDrop", humIn - humOut}, {"thirdDrop", thirdIn - thirdOut}}};
}

// ---- DeEss -----------------------------------------------------------------

// Vowels with a hissed "s" of 0.12 s between them, the hiss in 4.5..10 kHz.
Signal SibilantSpeech(int32_t sampleRate) {
    Signal s = Blank(sampleRate, 2);
    std::mt19937 rng(23);
    std::normal_distribution<double> white(0.0, 1.0);
    // Band-limited hiss: white noise through a two-pole resonator near 7 kHz.
    const double centre = std::min(7000.0, 0.3 * sampleRate);
    const double r = 0.9, theta = 2.0 * M_PI * centre / sampleRate;
    const double a1 = 2.0 * r * std::cos(theta), a2 = -r * r;
    double y1 = 0.0, y2 = 0.0;
    for (int64_t n = 0; n < s.Frames(); ++n) {
        const double t = static_cast<double>(n) / sampleRate;
        const bool hissing = std::fmod(t, 0.6) > 0.45 && std::fmod(t, 0.6) < 0.57;
        const double y = white(rng) + a1 * y1 + a2 * y2;
        y2 = y1;
        y1 = y;
        const double value = (hissing ? 0.0 : 5000.0 * Voice(n, sampleRate)) + (hissing ? 900.0 * y : 0.0);
        s.samples[2 * n] = value;
        s.samples[2 * n + 1] = value;
    }
    return s;
}

Measurement MeasureSibilance(const Signal& input, const Signal& output) {
    int64_t first, count;
    SteadySpan(input, output, first, count);
    const double highIn = analysis::BandPower(input, 0, 4500.0, 11000.0, first, count);
    const double highOut = analysis::BandPower(output, 0, 4500.0, 11000.0, first, count);
    const double lowIn = analysis::BandPower(input, 0, 100.0, 2000.0, first, count);
    const double lowOut = analysis::BandPower(output, 0, 100.0, 2000.0, first, count);
    const double sibilant = PowerDb(highOut) - PowerDb(highIn), voice = PowerDb(lowOut) - PowerDb(lowIn);
    return {Format("sibilant band 4.5-11 kHz %+.1f dB, voice band 0.1-2 kHz %+.1f dB", sibilant, voice),
            {{"sibilant", sibilant}, {"voice", voice}}};
}

// ---- DeVocal ---------------------------------------------------------------

// A centred voice over a guitar panned hard left.
Signal SongWithCentreVoice(int32_t sampleRate) {
    Signal s = Blank(sampleRate, 2);
    for (int64_t n = 0; n < s.Frames(); ++n) {
        const double voice = 4000.0 * Voice(n, sampleRate);
        s.samples[2 * n] = voice + 3000.0 * Pluck(n, sampleRate);
        s.samples[2 * n + 1] = voice;
    }
    return s;
}

// Least-squares level of a known component in one output channel, relative
// to its level in the input (the components are nearly uncorrelated).
double ComponentGainDb(const Signal& output, int32_t channel, double (*component)(int64_t, double),
                       double amplitude, int64_t first, int64_t count) {
    double cross = 0.0, self = 0.0;
    for (int64_t f = first; f < first + count; ++f) {
        const double c = amplitude * component(f, output.sampleRate);
        cross += c * output.samples[static_cast<size_t>(f * output.channels + channel)];
        self += c * c;
    }
    return 20.0 * std::log10(std::max(std::abs(cross / self), 1e-9));
}

constexpr const char* kMonoPreset = "Norm";
constexpr const char* kStereoPreset = "DeVocalNorm";

// The output gain of a preset row, which the audio path applies after the
// effect. Both de-vocal presets raise the output by 6 dB to make up for the
// level the removed centre takes with it; the figures take that gain out
// again, so a component the effect leaves alone reads 0 dB.
double PresetGainDb(EffectId id, const char* name) {
    const std::unique_ptr<EffectProcessor> effect = MakeEffect(id, EffectBuildContext{44100, 2, nullptr, nullptr});
    const EffectPreset* rows = nullptr;
    const int32_t count = effect->GetPresets(&rows);
    for (int32_t i = 0; i < count; ++i)
        if (std::string(rows[i].name) == name) return rows[i].values[0];
    return 0.0;
}

Measurement MeasureVocal(const Signal& input, const Signal& output, double presetGainDb) {
    int64_t first, count;
    SteadySpan(input, output, first, count);
    const double voiceLeft = ComponentGainDb(output, 0, Voice, 4000.0, first, count) - presetGainDb;
    const double voiceRight = ComponentGainDb(output, 1, Voice, 4000.0, first, count) - presetGainDb;
    const double guitar = ComponentGainDb(output, 0, Pluck, 3000.0, first, count) - presetGainDb;
    return {Format("centre voice L %.1f dB, R %.1f dB; left-panned guitar %.1f dB (preset gain %+.0f dB taken out)",
                   voiceLeft, voiceRight, guitar, presetGainDb),
            {{"voiceLeft", voiceLeft}, {"voiceRight", voiceRight}, {"guitar", guitar}}};
}

Measurement MeasureVocalMono(const Signal& input, const Signal& output) {
    return MeasureVocal(input, output, PresetGainDb(EffectId::DeVocalMono, kMonoPreset));
}

Measurement MeasureVocalStereo(const Signal& input, const Signal& output) {
    return MeasureVocal(input, output, PresetGainDb(EffectId::DeVocalStereo, kStereoPreset));
}

}  // namespace

std::vector<DemoCase> HumEssVocalDemos() {
    return {
        {"dehum", EffectId::DeHum, "50Hz Hum", {}, 0.0, HummingVoice, MeasureHum,
         {{"humDrop", 15.0, 40.0}, {"thirdDrop", 20.0, 50.0}}},
        {"deess", EffectId::DeEss, "", {}, 0.0, SibilantSpeech, MeasureSibilance,
         {{"sibilant", -12.0, -4.0}, {"voice", -0.3, 0.3}}},
        // Mono: the band becomes the channels' difference, so the voice goes
        // and a one-sided guitar comes out at half its level on both sides.
        {"devocal_mono", EffectId::DeVocalMono, kMonoPreset, {}, 0.0, SongWithCentreVoice, MeasureVocalMono,
         {{"voiceLeft", -200.0, -40.0}, {"voiceRight", -200.0, -40.0}, {"guitar", -6.5, -5.5}}},
        {"devocal_stereo", EffectId::DeVocalStereo, kStereoPreset, {}, 0.0, SongWithCentreVoice, MeasureVocalStereo,
         {{"voiceLeft", -200.0, -30.0}, {"voiceRight", -200.0, -30.0}, {"guitar", -1.0, 0.5}}},
    };
}

}  // namespace orve::demo
