#include "dsp/effect_processor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orve {

double KnobValueAt(const KnobSpec& knob, int position) {
    return knob.startValue + (knob.endValue - knob.startValue) * position * 0.0001;
}

// Rounded, not truncated: the value of position p comes back from the
// division a hair below p about once in thirteen positions, so truncation
// would move such a knob one step down at every save and load (a stored
// 41 Hz hum frequency walks to 25 Hz in sixteen sessions). Values beyond the
// knob's ends (a knob whose range follows the sample rate, after a rate
// change) stand at the nearer end.
int KnobPositionOf(const KnobSpec& knob, double value) {
    const double span = knob.endValue - knob.startValue;
    if (span == 0.0) return 0;
    const double position = std::round((value - knob.startValue) * 10000.0 / span);
    if (!(position > 0.0)) return 0;   // NaN included
    return position < kKnobPositionMax ? static_cast<int>(position) : kKnobPositionMax;
}

EffectProcessor::EffectProcessor(int32_t initialCapacity) {
    inCapacity = outCapacity = initialCapacity;
    if (initialCapacity >= 1) {
        inBuffer = new double[initialCapacity]();
        outBuffer = new double[initialCapacity]();
    }
}

EffectProcessor::~EffectProcessor() {
    delete[] inBuffer;
    delete[] outBuffer;
}

void EffectProcessor::GrowBuffer(double*& buffer, int32_t& capacity, int32_t count, int32_t keep) {
    if (count <= capacity) return;
    // At least double: queues whose fill creeps up by a few values as block
    // and hop phases drift would otherwise grow again and again, on the audio
    // thread, for tens of seconds; doubling settles within the first blocks.
    if (capacity < INT32_MAX / 2) count = std::max(count, 2 * capacity);
    double* grown = new double[count];
    if (buffer && keep > 0) std::memcpy(grown, buffer, sizeof(double) * keep);
    delete[] buffer;
    buffer = grown;
    capacity = count;
}

int32_t EffectProcessor::ProcessBlock(const double* in, double* out, int32_t inCount,
                                      int32_t outCapacity, int32_t /*channelMask*/) {
    if (in != out && inCount > 0) std::memmove(out, in, sizeof(double) * inCount);
    return outCapacity;
}

void EffectProcessor::ServeTables(const KnobSpec* knobs, int32_t knobCount, const EffectPreset* presets,
                                  int32_t presetCount) {
    servedKnobs = knobs;
    servedKnobCount = knobs ? knobCount : 0;
    servedPresets = presets;
    servedPresetCount = presets ? presetCount : 0;
}

int32_t EffectProcessor::DescribeKnobs(KnobSpec* table) {
    std::copy(servedKnobs, servedKnobs + servedKnobCount, table);
    return servedKnobCount;
}

int32_t EffectProcessor::GetPresets(const EffectPreset** tableOut) {
    if (servedPresetCount > 0) *tableOut = servedPresets;
    return servedPresetCount;
}

int32_t EffectProcessor::PresetCount() { return servedPresetCount; }
void EffectProcessor::SetParameters(const double*) {}
int32_t EffectProcessor::ExtraOutput() { return 0; }
double EffectProcessor::DisplayValue(int32_t, double value) { return value; }
int32_t EffectProcessor::Latency() const { return 0; }
std::unique_ptr<EffectWork> EffectProcessor::TakeWork() { return nullptr; }
std::unique_ptr<EffectWork> EffectProcessor::FinishWork(std::unique_ptr<EffectWork> work) { return work; }

void RunWorkNow(EffectProcessor& effect) {
    // Each round either builds something or releases what a swap replaced;
    // an effect has finitely much of either, so the loop ends.
    while (std::unique_ptr<EffectWork> work = effect.TakeWork()) {
        work->Run();
        // Work that comes back is not the effect's own: it dies here.
        effect.FinishWork(std::move(work));
    }
}

int32_t EffectProcessor::Reset() {
    if (inBuffer) std::fill(inBuffer, inBuffer + inCapacity, 0.0);
    if (outBuffer) std::fill(outBuffer, outBuffer + outCapacity, 0.0);
    return 0;
}

}  // namespace orve
