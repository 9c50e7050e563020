#pragma once
// The interface every effect implements, and the pass-through effect.
//
// Audio crosses this interface as interleaved doubles on the player's integer
// scale; counts are values (frames x channels), never frames.
#include <cstdint>

namespace orve {

// One knob: the values at positions 0 and 10000, and the value a fresh effect
// starts with. endValue may be below startValue (a knob that falls as it turns up).
struct KnobSpec {
    char label[20];
    double startValue;
    double endValue;
    double defaultValue;
    // The unit of the displayed value ("dB", "Hz", "ms"; empty when it has none)
    // and one sentence for the user: what the knob does and which way it turns.
    const char* unit = "";
    const char* help = "";
};

constexpr int kKnobPositionMax = 10000;
constexpr int kMaxKnobs = 40;

// Value of a knob at integer position 0..10000.
double KnobValueAt(const KnobSpec& knob, int position);
// Position of a value: the nearest position, clamped to 0..10000.
int KnobPositionOf(const KnobSpec& knob, double value);

// A named row of an effect's static preset table: values[0] is the output gain
// in dB, values[1..K] the knob values in knob order.
struct EffectPreset {
    const char* name;
    const double* values;
};

// Base of every effect and, used as it is, the pass-through effect.
// The two work buffers are owned here; derived classes use them for pending
// input and ready output. Buffers only grow.
class EffectProcessor {
public:
    explicit EffectProcessor(int32_t initialCapacity);
    virtual ~EffectProcessor();
    EffectProcessor(const EffectProcessor&) = delete;
    EffectProcessor& operator=(const EffectProcessor&) = delete;

    // in and out may be the same buffer. Returns values written (<= outCapacity).
    virtual int32_t ProcessBlock(const double* in, double* out, int32_t inCount,
                                 int32_t outCapacity, int32_t channelMask);
    virtual int32_t DescribeKnobs(KnobSpec* table);
    virtual void SetParameters(const double* values);
    virtual int32_t ExtraOutput();
    virtual int32_t GetPresets(const EffectPreset** tableOut);
    virtual int32_t PresetCount();
    virtual double DisplayValue(int32_t knobIndex, double value);
    virtual int32_t Reset();

protected:
    // Replace a work buffer by one of exactly `count` doubles when it is
    // smaller, keeping the first `keep` values. Never shrinks.
    static void GrowBuffer(double*& buffer, int32_t& capacity, int32_t count, int32_t keep);

    double* inBuffer = nullptr;
    double* outBuffer = nullptr;
    int32_t inCapacity = 0;
    int32_t outCapacity = 0;
};

// Channel c (0-based) is processed when (c + 1) & mask is non-zero; 0 = PASS.
inline bool ChannelEnabled(int32_t channelMask, int channel) {
    return ((channel + 1) & channelMask) != 0;
}

// Copies a fixed knob table into the caller's table; returns the count.
int32_t CopyKnobs(const KnobSpec* source, int32_t count, KnobSpec* table);

}  // namespace orve
