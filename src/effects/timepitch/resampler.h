#pragma once
// Sample-rate conversion played back at the unchanged rate: speed and pitch
// change together, like a tape run faster or slower. The conversion itself is
// libresample's windowed-sinc converter, one per channel.
//
// The stream length changes, so the effect keeps its own queues: inBuffer is the
// input queue, outBuffer the output queue, and ProcessBlock returns either
// nothing or exactly the capacity offered.
#include <memory>
#include <vector>

#include "dsp/effect_processor.h"

namespace orve {

class Resampler : public EffectProcessor {
public:
    Resampler(double sampleRate, int32_t channels);
    ~Resampler() override;

    int32_t ProcessBlock(const double* in, double* out, int32_t inCount, int32_t capacity,
                         int32_t channelMask) override;
    void SetParameters(const double* values) override;
    int32_t ExtraOutput() override;
    double DisplayValue(int32_t knobIndex, double value) override;
    int32_t Reset() override;
    // A new factor's converters (libresample builds a filter table for each,
    // a matter of milliseconds) are opened as work off the audio thread and
    // swapped in at a block boundary; the old ones are closed by the next work.
    std::unique_ptr<EffectWork> TakeWork() override;
    std::unique_ptr<EffectWork> FinishWork(std::unique_ptr<EffectWork> work) override;

    // The factor the knob asks for (in force from the next block).
    double Factor() const { return factor; }

private:
    class ConverterBuild;

    int32_t channels;
    double factor = 1.0;                // output samples per input sample, as asked for
    double running = 1.0;               // the factor the converters were built for
    std::vector<void*> converters;      // one libresample handle per channel
    std::unique_ptr<ConverterBuild> build;   // null while lent out
    const EffectWork* lent = nullptr;
    double builtFactor = 0.0;           // none yet: the first work opens them
    bool buildReady = false;
    bool leftOvers = false;
    int32_t inFill = 0;
    int32_t outFill = 0;
    // libresample works on floats: the queued input of one channel, and each
    // channel's converted frames of this block (one region per channel).
    std::vector<float> planeScratch;
    std::vector<float> convertedScratch;
};

}  // namespace orve
