#pragma once
// The interface every effect implements, and the pass-through effect.
//
// Audio crosses this interface as interleaved doubles on the player's integer
// scale; counts are values (frames x channels), never frames.
//
// Threads: every call into an effect object (ProcessBlock, SetParameters,
// ExtraOutput, the tables, DisplayValue, Reset and the operations of derived
// classes) is serialised by its host. The plug-in makes each one under its
// processing lock, whichever thread it comes from; `orve` and the tests call
// from a single thread. So an effect keeps its knob values as plain members:
// SetParameters stores them (and raises a plain flag where something derived
// from them must be rebuilt), and the next ProcessBlock acts on them. No
// effect needs atomics, a lock of its own or a path that runs without the lock.
#include <cstddef>
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
    // Copies the served knob table into `table`; returns the knob count.
    virtual int32_t DescribeKnobs(KnobSpec* table);
    virtual void SetParameters(const double* values);
    virtual int32_t ExtraOutput();
    // The served preset table and its row count; without one, 0 and *tableOut
    // left as it was.
    virtual int32_t GetPresets(const EffectPreset** tableOut);
    // Rows of the served preset table; the window takes the last one as the
    // user's own setting.
    virtual int32_t PresetCount();
    virtual double DisplayValue(int32_t knobIndex, double value);
    virtual int32_t Reset();

protected:
    // An effect names its static knob and preset tables once, in its
    // constructor; the counts are taken from the arrays.
    template <size_t K>
    void ServeTables(const KnobSpec (&knobs)[K]) {
        ServeTables(knobs, static_cast<int32_t>(K), nullptr, 0);
    }
    template <size_t K, size_t P>
    void ServeTables(const KnobSpec (&knobs)[K], const EffectPreset (&presets)[P]) {
        ServeTables(knobs, static_cast<int32_t>(K), presets, static_cast<int32_t>(P));
    }
    // Tables whose size is known only when the effect is built (the
    // equaliser's layouts). The tables must outlive the effect.
    void ServeTables(const KnobSpec* knobs, int32_t knobCount, const EffectPreset* presets, int32_t presetCount);

    // Replace a work buffer by one of exactly `count` doubles when it is
    // smaller, keeping the first `keep` values. Never shrinks.
    static void GrowBuffer(double*& buffer, int32_t& capacity, int32_t count, int32_t keep);

    double* inBuffer = nullptr;
    double* outBuffer = nullptr;
    int32_t inCapacity = 0;
    int32_t outCapacity = 0;

private:
    const KnobSpec* servedKnobs = nullptr;
    int32_t servedKnobCount = 0;
    const EffectPreset* servedPresets = nullptr;
    int32_t servedPresetCount = 0;
};

// Channel c (0-based) is processed when (c + 1) & mask is non-zero; 0 = PASS.
inline bool ChannelEnabled(int32_t channelMask, int channel) {
    return ((channel + 1) & channelMask) != 0;
}

}  // namespace orve
