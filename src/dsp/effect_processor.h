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
// effect needs atomics, a lock of its own or a path that runs without the lock;
// the one thing that runs unserialised is the work an effect hands out for a
// heavy rebuild (EffectWork::Run), which touches only the work object.
#include <cstddef>
#include <cstdint>
#include <memory>

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

// Work an effect hands out to be done away from the audio thread: building a
// room response and the spectra of a new convolution kernel, or releasing the
// memory of one that has been replaced. The effect makes it and owns what it
// needs, so that Run() touches nothing but this object and may run on any
// thread, unserialised, while the effect goes on playing.
class EffectWork {
public:
    virtual ~EffectWork() = default;
    virtual void Run() = 0;
};

// Base of every effect and, used as it is, the pass-through effect.
//
// Calls into an effect are serialised by its host (the plug-in holds its
// processing lock around each; orve and the tests call from one thread). The
// one exception is EffectWork::Run() on work the effect has handed out.
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

    // Latency: frames of delay between the input and the output stream in
    // steady state. It is constant from construction for the stream format and
    // knob values the effect holds (a knob that changes it, such as DeNoise's
    // frame length, restarts the stream).
    //
    // The output stream is the processed input stream frame for frame: the
    // first frame an effect returns is processed input frame 0, never leading
    // silence of its own. An effect with latency holds frames back instead:
    //   - convolution effects (ModalReverb, SampleReverb, Virtual3D) hold back
    //     exactly Latency() frames from the first call on, for any block size:
    //     after F frames in, F - Latency() frames out (0 while F < Latency());
    //   - frame-based effects (SpectralEffect) report N - hop, the look-ahead
    //     of their frames. They release whole hops and return either nothing
    //     or the whole block, so they hold back between N - hop and N frames
    //     plus, at most, the block in hand;
    //   - every other effect reports 0 (the tempo scaler and resampler change
    //     the stream's length; StreamStartLead places their image).
    // A host that plays the returned frames back to back (the player) needs
    // nothing; a host with fixed-size periods (an LV2 wrapper) puts Latency()
    // frames of silence ahead of the effect's output, plus hop and period for
    // frame-based effects, and reports that on its latency port; orve feeds
    // silence after the input until the held-back frames are out.
    virtual int32_t Latency() const;

    // Heavy rebuilds, host-neutral. After SetParameters (or construction) an
    // effect whose new state needs heavy work (a room response, kernel
    // spectra) keeps playing its current state and has work pending:
    //   TakeWork()   serialised (the audio thread, at a block boundary): the
    //                pending work, or null. An effect lends out at most one
    //                work object at a time; it is made ahead of time, so
    //                taking it allocates nothing. A knob drag builds only the
    //                latest values: work taken reflects the knobs at that
    //                moment, and later changes wait for the next work.
    //   work->Run()  anywhere, unserialised, off the audio thread.
    //   FinishWork() serialised: hands the finished work back. The effect
    //                adopts it and returns null; work that is not its own
    //                comes back to the caller, to be destroyed off the audio
    //                thread. The effect swaps the result in at the next block
    //                boundary with a short crossfade; nothing is allocated or
    //                released on the audio thread (what the result replaces
    //                leaves in the next work handed out).
    // A host may run work synchronously at the point it is requested
    // (RunWorkNow): orve does, so the same command gives the same bytes. The
    // Windows plug-in runs it on a worker thread; an LV2 wrapper would call
    // TakeWork from run() and schedule_work, Run() in work(), and FinishWork in
    // work_response(). Effects without heavy rebuilds never have work.
    virtual std::unique_ptr<EffectWork> TakeWork();
    virtual std::unique_ptr<EffectWork> FinishWork(std::unique_ptr<EffectWork> work);

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

    // Replace a work buffer by one of at least `count` doubles (and at least
    // twice its capacity) when it is smaller, keeping the first `keep` values.
    // Never shrinks.
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

// Runs every piece of work the effect has pending, on the calling thread, and
// hands it back: the effect then plays its newest state from its next block.
void RunWorkNow(EffectProcessor& effect);

}  // namespace orve
