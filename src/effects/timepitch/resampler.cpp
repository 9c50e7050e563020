#include "effects/timepitch/resampler.h"

#include <libresample.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orve {
namespace {

// The knob holds log2 of the factor: 2.0 (the most the audio path takes back
// per block) down to 2^-1.5.
const KnobSpec kKnobs[] = {
    {"Ratio", 1.0, -1.5, 0.0, "\xC3\x97",
     "Speed factor as on a tape machine, shown as output length over input length: 2 plays twice as "
     "long and an octave lower, 0.5 twice as fast and an octave higher."},
};

const double kOriginal[] = {0.0, 0.0};
const double kDownSample[] = {0.0, -0.4};
const double kUpSample[] = {0.0, 0.4};
const double kCustom[] = {0.0, 0.0};
const EffectPreset kPresets[] = {
    {"Original", kOriginal},
    {"DownSample", kDownSample},
    {"UpSample", kUpSample},
    {"Custom", kCustom},
};

// Headroom (frames) the converter may deliver beyond the block's own share.
constexpr int32_t kSlack = 100;
// 2^1, the top of the knob.
constexpr double kMaxFactor = 2.0;

template <typename T>
void GrowTo(std::vector<T>& v, size_t count) {
    if (v.size() < count) v.resize(count);
}

}  // namespace

// Opens a converter per channel for a factor, or closes the converters it
// carries back; it touches nothing of the effect meanwhile.
class Resampler::ConverterBuild : public EffectWork {
public:
    explicit ConverterBuild(int32_t channels) : handles(channels, nullptr) {}
    ~ConverterBuild() override { Close(); }

    void Run() override {
        Close();
        // Minimum and maximum factor equal: the converter's filter is built
        // for exactly the factor it runs with, so its out-of-range error
        // cannot arise.
        if (build)
            for (auto& handle : handles) handle = resample_open(1, factor, factor);
    }

    bool build = false;
    double factor = 1.0;
    std::vector<void*> handles;   // the new converters, or the old ones to close

private:
    void Close() {
        for (auto& handle : handles) {
            if (handle) resample_close(handle);
            handle = nullptr;
        }
    }
};

// Channels: one converter for every channel of the stream. A fixed table of
// three would leave a surround stream's other channels unconverted - and of a
// different length than the rest, which breaks the interleave - so the table
// simply has as many entries as the stream has channels.
Resampler::Resampler(double /*sampleRate: the factor is relative*/, int32_t channels)
    : EffectProcessor(6000),
      channels(channels),
      converters(std::max(channels, 1), nullptr),
      build(std::make_unique<ConverterBuild>(std::max(channels, 1))) {
    // The converters are opened as work, like every later set: by then the
    // host has set the factor it restores, so their filter tables (the
    // costly part) are computed once. Until then a block queues its input.
    ServeTables(kKnobs, kPresets);
}

Resampler::~Resampler() {
    for (auto& handle : converters)
        if (handle) resample_close(handle);
}

std::unique_ptr<EffectWork> Resampler::TakeWork() {
    // A finished build waits for its block boundary with the new converters.
    if (!build || buildReady) return nullptr;
    build->build = !buildReady && factor != builtFactor;
    if (!build->build && !leftOvers) return nullptr;
    if (build->build) builtFactor = build->factor = factor;
    leftOvers = false;
    lent = build.get();
    return std::move(build);
}

std::unique_ptr<EffectWork> Resampler::FinishWork(std::unique_ptr<EffectWork> work) {
    if (!work || work.get() != lent) return work;
    build.reset(static_cast<ConverterBuild*>(work.release()));
    lent = nullptr;
    buildReady = build->build;
    return nullptr;
}

void Resampler::SetParameters(const double* values) {
    // Held to the knob's range: the audio path takes back at most twice a
    // block, and the converter's tables grow with 1 / factor.
    factor = std::pow(2.0, std::clamp(values[0], kKnobs[0].endValue, kKnobs[0].startValue));
}

int32_t Resampler::ExtraOutput() { return outFill; }

double Resampler::DisplayValue(int32_t knobIndex, double value) {
    return knobIndex == 0 ? std::pow(2.0, value) : value;
}

int32_t Resampler::Reset() {
    // The converters keep their state: only the queued values are dropped.
    inFill = outFill = 0;
    return EffectProcessor::Reset();
}

int32_t Resampler::ProcessBlock(const double* in, double* out, int32_t inCount, int32_t capacity,
                                int32_t /*channelMask: every channel is converted*/) {
    const int32_t ch = channels;
    if (buildReady && build) {
        // Swapped at the block boundary, so a converter is never replaced
        // while it runs. Its filter history is lost (a short gap); the queues
        // stay. The old converters leave with the build, to be closed.
        buildReady = false;
        converters.swap(build->handles);
        build->build = false;
        running = build->factor;
        leftOvers = true;
    }
    const double factor = running;

    if (inCount > 0) {
        GrowBuffer(inBuffer, inCapacity, inFill + inCount, inFill);
        std::memmove(inBuffer + inFill, in, sizeof(double) * inCount);
        inFill += inCount;
    }

    const int32_t F = inFill / ch;
    // Room for this block's share of output, rounded up: rounded down, a
    // block shorter than 1 / factor frames (one or two frames below factor 1)
    // would give the converters no room at all, and the input would queue for
    // ever. The converter delivers no more than its input allows, so the extra
    // frame only lets it catch up on the fractions earlier blocks left.
    const int32_t Q = static_cast<int32_t>(std::ceil(inCount * factor / ch));
    const int32_t region = Q + kSlack;
    // Sized for the largest factor the knob allows, so that turning it up
    // does not make these grow on the audio thread.
    const int32_t widest = static_cast<int32_t>(std::ceil(inCount * kMaxFactor / ch)) + kSlack;
    if (convertedScratch.size() < static_cast<size_t>(region) * ch) GrowTo(convertedScratch, static_cast<size_t>(widest) * ch);
    if (outFill + region * ch > outCapacity) GrowBuffer(outBuffer, outCapacity, outFill + widest * ch, outFill);
    GrowTo(planeScratch, static_cast<size_t>(ch) * kSlack + inFill);

    int32_t produced = 0, used = 0;
    for (int32_t c = 0; c < ch; ++c) {
        // Samples stay on the player's integer scale; a float holds a 16-bit
        // sample exactly and a 32-bit one to 24 bits, below any audible error.
        float* plane = planeScratch.data();
        for (int32_t f = 0; f < F; ++f) plane[f] = static_cast<float>(inBuffer[f * ch + c]);
        int32_t channelUsed = 0;
        int32_t channelProduced = 0;
        if (converters[c]) {
            channelProduced = resample_process(converters[c], factor, plane, F, 0, &channelUsed,
                                               convertedScratch.data() + static_cast<size_t>(c) * region, Q);
        }
        // All converters see the same counts and factor, so every channel
        // produces and uses the same number of frames.
        produced = std::max(channelProduced, 0);
        used = std::max(channelUsed, 0);
    }

    for (int32_t c = 0; c < ch; ++c) {
        const float* converted = convertedScratch.data() + static_cast<size_t>(c) * region;
        double* dest = outBuffer + outFill + c;
        for (int32_t g = 0; g < produced; ++g) dest[g * ch] = converted[g];
    }
    outFill += produced * ch;
    const int32_t usedValues = std::min(used * ch, inFill);
    inFill -= usedValues;
    if (usedValues > 0 && inFill > 0) std::memmove(inBuffer, inBuffer + usedValues, sizeof(double) * inFill);

    if (outFill < capacity || capacity <= 0) return 0;
    std::memcpy(out, outBuffer, sizeof(double) * capacity);
    outFill -= capacity;
    if (outFill > 0) std::memmove(outBuffer, outBuffer + capacity, sizeof(double) * outFill);
    return capacity;
}

}  // namespace orve
